#include "dish/usals.h"

#include <cmath>

#include "dish/diseqc_message.h"
#include "platform/platform.h"

namespace {

constexpr double kPi = 3.141592653589793;
// Radii in km: the Earth and the geostationary orbit.
constexpr double kEarthRadius = 6378;
constexpr double kOrbitRadius = 42233.24009;
// The motor angle travels in sixteenths of a degree.
constexpr double kStepsPerDegree = 16;

// The line printed for each failing result code of CalcUsalsAngle.
struct UsalsError {
    int code;
    const char *text;
};
const UsalsError kUsalsErrors[] = {
    {kUsalsBadSatellite, "Incorrect satellite position !"},
    {kUsalsBadLatitude, "Incorrect lattitude !"},
    {kUsalsBadLongitude, "Incorrect longtitude !"},
    {kUsalsBelowHorizon, "Satellite out of horizont !"},
};

}  // namespace

int CalcUsalsAngle(double satellite_deg, double latitude_deg, double longitude_deg, double *angle_deg) {
    if (satellite_deg < -180 || satellite_deg > 180) return kUsalsBadSatellite;
    if (latitude_deg < -90 || latitude_deg > 90) return kUsalsBadLatitude;
    if (longitude_deg < -180 || longitude_deg > 180) return kUsalsBadLongitude;
    // Polar angle of the site and the satellite's longitude seen from the site's meridian.
    const double theta = (90 - latitude_deg) / 180 * kPi;
    const double delta = (satellite_deg - longitude_deg) / 180 * kPi;
    // In the equatorial plane, along the site's meridian: how far out the satellite lies,
    // against the site's own distance from the Earth's axis.
    const double h = std::cos(delta) * kOrbitRadius;
    const double l = std::sin(theta) * kEarthRadius;
    if (l > h) return kUsalsBelowHorizon;
    *angle_deg = std::atan(std::sin(delta) * kOrbitRadius / (h - l)) / kPi * 180;
    return kUsalsOk;
}

int MakeUsalsCmd(bool west_variant, double angle_deg, unsigned char *message) {
    if (angle_deg < -90 || angle_deg > 90) return 1;
    message[0] = kFramingFirst;
    message[1] = kAddressPositioner;
    message[2] = kCommandGotoAngular;
    const unsigned steps = static_cast<unsigned>(std::fabs(angle_deg) * kStepsPerDegree + 0.5);
    unsigned direction = 0xE;  // east, or on the meridian
    if (angle_deg < 0) direction = west_variant ? 0x0 : 0xD;
    message[3] = static_cast<unsigned char>((direction << 4) | ((steps >> 8) & 0x0F));
    message[4] = static_cast<unsigned char>(steps & 0xFF);
    return 0;
}

void RunUsals(int satellite, int latitude, int longitude, int variant, const char *config_path) {
    const double satellite_deg = satellite / 10.0;
    const double latitude_deg = latitude / 10.0;
    const double longitude_deg = longitude / 10.0;
    double angle_deg = 0;
    const int result = CalcUsalsAngle(satellite_deg, latitude_deg, longitude_deg, &angle_deg);
    if (result != kUsalsOk) {
        for (const UsalsError &error : kUsalsErrors) {
            if (error.code == result) Print("%s\n", error.text);
        }
        return;
    }
    // The degree sign is the console's own (one Latin-1 byte, or UTF-8).
    Print("USALS: Lattitude = %.1f%s, Longtitude = %.1f%s, Satellite angle = %.1f%s\n", latitude_deg, kDegreeSign,
          longitude_deg, kDegreeSign, satellite_deg, kDegreeSign);

    unsigned char message[5] = {};
    MakeUsalsCmd(variant == 2, angle_deg, message);
    Print("USALS: Motor angle = %.1f%s, DiSEqC cmd: %02X %02X %02X %02X %02X\n", angle_deg, kDegreeSign, message[0],
          message[1], message[2], message[3], message[4]);
    RepeatedSend(message, 5, config_path);
}
