// USALS: the motor angle towards a satellite and its DiSEqC goto-angular-position message.
#pragma once

// Result codes of CalcUsalsAngle.
enum UsalsResult {
    kUsalsOk = 0,
    kUsalsBadSatellite = 1,   // satellite longitude outside -180..180
    kUsalsBadLatitude = 2,    // latitude outside -90..90
    kUsalsBadLongitude = 3,   // longitude outside -180..180
    kUsalsBelowHorizon = 4,   // satellite fails the horizon test
};

// All arguments in degrees, longitudes east positive. On kUsalsOk stores the motor angle in
// degrees (east of the site's meridian positive) in *angle_deg.
int CalcUsalsAngle(double satellite_deg, double latitude_deg, double longitude_deg, double *angle_deg);

// Builds E0 31 6E, direction and high nibble, low byte into message[5]. `west_variant` is
// true when USALS is 2 (direction nibble 0 instead of D for a negative angle). Returns 0,
// or 1 without touching the buffer when the angle lies outside -90..90.
int MakeUsalsCmd(bool west_variant, double angle_deg, unsigned char *message);

// The USALS step of the dish sequence: computes, prints and sends (no capability test).
// `satellite`, `latitude` and `longitude` in tenths of a degree.
void RunUsals(int satellite, int latitude, int longitude, int variant, const char *config_path);
