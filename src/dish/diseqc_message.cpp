#include "dish/diseqc_message.h"

#include <cstdint>

#include "platform/platform.h"
#include "tuner/tuner_library.h"

namespace {

constexpr std::uint32_t kRepeatGapMs = 100;
constexpr int kRepetitions = 2;
constexpr int kLongestWaitS = 359;

}  // namespace

void RepeatedSend(unsigned char *message, int count, const char *config_path) {
    // Nothing goes out once the user has asked to stop: a positioner is never driven after it.
    if (Platform().stop_requested()) return;
    message[0] = kFramingFirst;
    if (Tuner().SendDiseqCmd(message, count) == 0) {
        Print("SendDiseqCmd failed !\n");
        return;
    }
    // Repetitions reach a device that missed the first transmission, such as a cascaded
    // switch still powering up behind another one.
    message[0] = kFramingRepeat;
    for (int i = 0; i < kRepetitions; ++i) {
        Platform().sleep_ms(kRepeatGapMs);  // a stop request ends it at once
        if (Platform().stop_requested()) return;
        if (Tuner().SendDiseqCmd(message, count) == 0) {
            Print("SendDiseqCmd failed !\n");
            break;
        }
    }
    const int wait_s = IniReadInt("SatInfo", "Wait", 0, config_path);
    if (wait_s >= 1 && wait_s <= kLongestWaitS) Platform().sleep_ms(static_cast<std::uint32_t>(wait_s) * 1000u);
}

