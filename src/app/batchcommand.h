#pragma once

#include <string>

// `tavrel --batch TABLE.csv --out DIR ...`: one menu per table row. Exit status (an
// ExitStatus) 0 all written, 1 the output folder cannot be made, 2 bad option or unusable
// table, 3 the table or template cannot be read, 6 some rows failed (the others are written).
int RunBatchCommand(int argc, char** argv);
