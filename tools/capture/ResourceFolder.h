#pragma once

#include <string>
#include <vector>

// The production reads ../res from the folder it is started in. The tools
// are also started from elsewhere (a desktop launcher, another terminal):
// when ../res is not there but res/ lies beside the program's own folder,
// they move into that folder first, as if started there. The user's relative
// paths in `paths` are made absolute before the move so that they keep
// naming what they named. False when neither folder has res/, with a one-line
// reason in error that names both places and how to start the program.
bool EnterResourceFolder(const char* program, const std::vector<std::string*>& paths, std::string& error);
