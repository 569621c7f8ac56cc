// The payload resources that the built keysetup.exe carries.
#pragma once

#include <windows.h>

#include <string>

// The bytes of resource type/id in the built keysetup.exe; empty when it
// carries no such resource.
std::string KeysetupPayloadBytes(const char *type, WORD id);
