// The subcommands of drozak-tools; each returns the process exit code.
#pragma once

int perftCommand(int argc, char** argv);
int benchCommand(int argc, char** argv);
int searchCommand(int argc, char** argv);
int makebookCommand(int argc, char** argv);
int evalbenchCommand(int argc, char** argv);
