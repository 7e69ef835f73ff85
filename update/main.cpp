// Program entry of the updater: one window; closing it ends the program.
#include "update/updater_program.h"

int main(int argc, char** argv) { return updater::runUpdater(argc, argv); }
