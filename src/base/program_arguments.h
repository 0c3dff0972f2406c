#pragma once

// The command-line arguments of a console tool, program name first, in the
// program's form of paths: on Windows UTF-8 from the wide command line (argv
// there holds the ANSI code page's lossy copy); natively argv's bytes as they
// are.

#include <string>
#include <vector>

std::vector<std::string> ProgramArguments(int argc, char** argv);
