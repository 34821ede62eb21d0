#pragma once

// Logs every pending GL error flag, one line each, and carries on: the rest of
// the program never asks whether an error happened.
void CheckGLError();
