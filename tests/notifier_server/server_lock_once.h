#pragma once
// Test programs that call the session map directly create the server lock
// once per process, as the program entry does.
#include "session_pipes.h"

inline void CreateServerLockOnce()
{
    static bool created = false;
    if (!created)
        CreateServerLock();
    created = true;
}
