// The vesker executable: the entry function with the tuner library loaded from disk.
#include "driver/startup.h"
#include "tuner/tuner_library.h"

int main(int argc, char **argv) { return VeskerMain(argc, argv, LoadTunerLibrary); }
