// Playing the finished mix.
#pragma once

// Begins reaching the default output in the background (a sound server's answer takes a few
// milliseconds), so that PlayMaster finds it ready once the render is done. Nothing sounds before
// PlayMaster. Call it before any thread starts (it settles what the sound libraries read of the
// environment). Optional.
void ReachOutput();

// Converts MasterBuffer to PCM, opens the default output and queues the whole block, then returns
// while it plays. Without a usable device it says so on standard error and the run goes on.
void PlayMaster();
