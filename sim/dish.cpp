#include "dish.h"

#include <cmath>

namespace sim {

void ApplyCommittedByte(DishState *dish, int value) { dish->port = ((value >> 2) & 3) + 1; }

void ApplyToneBurst(DishState *dish, int value) { dish->port = value == 0 ? 1 : 2; }

double DecodeUsalsAngle(unsigned char high, unsigned char low) {
    int sixteenths = ((high & 0x0F) << 8) | low;
    double angle = sixteenths / 16.0;
    int direction = high >> 4;
    return direction == 0x0E ? angle : -angle;
}

bool ApplyDiseqcMessage(DishState *dish, const unsigned char *bytes, int count) {
    if (bytes == nullptr || count < 3 || count > 6) return false;
    if (bytes[0] < 0xE0 || bytes[0] > 0xE3) return false;  // framing: command from master
    unsigned char address = bytes[1];
    unsigned char command = bytes[2];
    bool switch_address = address >= 0x10 && address <= 0x1F;
    bool positioner_address = address >= 0x30 && address <= 0x32;
    if (switch_address && command == 0x38 && count >= 4) {
        ApplyCommittedByte(dish, bytes[3]);
    } else if (switch_address && command == 0x39 && count >= 4) {
        dish->uncommitted = (bytes[3] & 0x0F) + 1;
    } else if (positioner_address && command == 0x6B && count >= 4) {
        dish->motor = MotorState::kStoredPosition;
        dish->stored = bytes[3];
    } else if (positioner_address && command == 0x6E && count >= 5) {
        dish->motor = MotorState::kAngle;
        dish->angle_deg = DecodeUsalsAngle(bytes[3], bytes[4]);
    }
    return true;
}

bool MotorAngleTowards(int satellite_tenths, int latitude_tenths, int longitude_tenths, double *angle_deg) {
    const double kPi = 3.141592653589793;
    const double kEarthRadius = 6378.0;          // km
    const double kOrbitRadius = 42233.24009;     // km, from the Earth's centre
    double theta = (90.0 - latitude_tenths / 10.0) / 180.0 * kPi;
    double delta = (satellite_tenths / 10.0 - longitude_tenths / 10.0) / 180.0 * kPi;
    double h = std::cos(delta) * kOrbitRadius;
    double l = std::sin(theta) * kEarthRadius;
    if (l > h) return false;
    *angle_deg = std::atan(std::sin(delta) * kOrbitRadius / (h - l)) / kPi * 180.0;
    return true;
}

bool SatelliteVisible(const Scenario &scenario, std::size_t index, const DishState &dish, int site_latitude,
                      int site_longitude) {
    const Satellite &satellite = scenario.satellites[index];
    bool switched = satellite.port != 0 || satellite.uncommitted != 0;
    bool on_motor = satellite.stored >= 0 || satellite.usals || (scenario.satellites.size() > 1 && !switched);
    if (satellite.port != 0 && satellite.port != dish.port) return false;
    if (satellite.uncommitted != 0 && satellite.uncommitted != dish.uncommitted) return false;
    if (!on_motor) return true;
    switch (dish.motor) {
        case MotorState::kStoredPosition:
            return satellite.stored >= 0 && satellite.stored == dish.stored;
        case MotorState::kAngle: {
            int latitude = scenario.has_site ? scenario.site_latitude : site_latitude;
            int longitude = scenario.has_site ? scenario.site_longitude : site_longitude;
            double angle = 0.0;
            return MotorAngleTowards(satellite.position, latitude, longitude, &angle) &&
                   std::fabs(angle - dish.angle_deg) <= 0.5;
        }
        default:
            return false;  // a motor never moved points nowhere known
    }
}

}  // namespace sim
