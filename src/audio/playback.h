// Playing the finished mix.
#pragma once

// Converts MasterBuffer to PCM, opens the default output and queues the whole block, then returns
// while it plays. Without a usable device it says so on standard error and the run goes on.
void PlayMaster();
