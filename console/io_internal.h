// State of module IO shared between its common part and the files of each build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Console.h"

namespace IO::detail {

// TRUE after WrLn and after a string read; FALSE after a string written by the default writer.
extern bool lineStart;

// Sets every exported variable, the hooks and the buffered input line to their start values.
// `reader` is the build's default string reader.
void InitCommon(void (*reader)(char* s, std::size_t capacity));

// Writes "?" when Prompt is on at a line start, then marks a line start: the default string
// reader's first step.
void PromptForString();

// Closes s with 00 when fewer than its capacity characters were read.
void CloseString(char* s, std::size_t capacity, std::size_t length);

// Trabolix build: the direct reading's translation of one key-down event. False when the record
// is skipped. Otherwise `result` is the code RdKey returns; when it is 00, `pending` is set to the
// code the next RdKey returns (00: none). Any thread (pure but for `pending`).
bool TranslateDirect(const platform::KeyEventRecord& event, uint8_t& pending, char& result);

}  // namespace IO::detail
