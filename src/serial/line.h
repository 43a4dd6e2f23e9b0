// Waiting on the calculator, and moving blocks over the line, for both transfers.
#pragma once

// Reads single bytes until `wanted` comes; every other byte and every read
// that times out is ignored. False when the line to the calculator is gone.
bool AwaitByte(unsigned char wanted);
// One read of one byte: 0 when nothing came in time. False when the line is gone.
bool ReadAnswerByte(unsigned char* byte);

// Long blocks move in steps of this many bytes, so that the progress line
// and a trace of the line follow them as they go.
constexpr int kBlockStep = 256;
