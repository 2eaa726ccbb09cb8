#include "open_run.h"

int main(int argc, char** argv) { return run_open(argc, argv); }
