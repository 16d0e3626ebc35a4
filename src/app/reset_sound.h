#pragma once

// Stops and closes the output device if one is open, then zeroes both sample buffers.
void ResetSound();
