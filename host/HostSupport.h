// Small helpers shared by the command handlers: the host tests, the one
// place where a host status code becomes an exception, and safe writes into
// the host's fixed-size text fields.
//
// Errors: throwIfError throws the code itself (a PF_Err integer); the entry
// point passes such integers back to the host unchanged. Nothing here keeps
// state; everything runs under the entry lock.
#pragma once

#include <cstddef>
#include <string>

#include "sdk/PF_Effect.h"

namespace host {

// The editing host ('PrMr').
bool isPremiereHost(const PF_InData* in_data);
// The compositing host at effect API 13.0 or 13.1.
bool isLegacyHost(const PF_InData* in_data);
// The compositing host at effect API 13.9 or later (major and minor each
// compared on its own).
bool isCurrentHost(const PF_InData* in_data);

// Throws err when it is not PF_Err_NONE.
void throwIfError(PF_Err err);

// Cuts text to at most maxBytes bytes without splitting a UTF-8 sequence.
std::string fitText(const std::string& text, size_t maxBytes);

// Copies text (shortened to fit) into a host char field of capacity bytes
// with the host's strcpy callback, or directly when the host offers none.
void copyHostString(const PF_InData* in_data, char* field, size_t capacity, const std::string& text);

// Writes text (shortened to fit) into a host char field through the host's
// sprintf callback with "%s", or directly when the host offers none.
void formatHostString(const PF_InData* in_data, char* field, size_t capacity, const std::string& text);

// Sets PF_OutFlag_DISPLAY_ERROR_MESSAGE and writes message into return_msg.
void reportMessage(const PF_InData* in_data, PF_OutData* out_data, const std::string& message);

}  // namespace host
