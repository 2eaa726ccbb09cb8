#include "table_run.h"

int main(int argc, char** argv) { return run_table(argc, argv); }
