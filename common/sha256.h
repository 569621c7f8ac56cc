// SHA-256 (FIPS 180-4), computed here: CryptoAPI has no SHA-256 before
// Windows XP SP3, and keycheck compares files on every Windows it serves.
#pragma once

#include <windows.h>

const size_t SHA256_DIGEST_SIZE = 32;
const size_t SHA256_BLOCK_SIZE = 64;

struct Sha256State {
    DWORD hash[8];
    BYTE block[SHA256_BLOCK_SIZE];
    DWORD blockUsed;
    DWORD bytesLow; // message length in bytes, low and high words
    DWORD bytesHigh;
};

void Sha256Begin(Sha256State *state);
void Sha256Add(Sha256State *state, const void *data, size_t size);
// Writes the digest of everything added; the state is spent.
void Sha256End(Sha256State *state, BYTE *digest);
