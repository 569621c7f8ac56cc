#include "sha256.h"

#include <string.h>

namespace {

const DWORD ROUND_CONSTANTS[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

const DWORD INITIAL_HASH[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

// Where the message length goes in the last block.
const DWORD LENGTH_OFFSET = SHA256_BLOCK_SIZE - 8;

DWORD Rotate(DWORD value, int bits) { return (value >> bits) | (value << (32 - bits)); }

DWORD ReadBigEndian(const BYTE *bytes)
{
    return ((DWORD)bytes[0] << 24) | ((DWORD)bytes[1] << 16) | ((DWORD)bytes[2] << 8) | bytes[3];
}

void WriteBigEndian(BYTE *bytes, DWORD value)
{
    bytes[0] = (BYTE)(value >> 24);
    bytes[1] = (BYTE)(value >> 16);
    bytes[2] = (BYTE)(value >> 8);
    bytes[3] = (BYTE)value;
}

void CompressBlock(DWORD *hash, const BYTE *block)
{
    DWORD schedule[64];
    DWORD v[8];
    int i;

    for (i = 0; i < 16; ++i)
        schedule[i] = ReadBigEndian(block + 4 * i);
    for (i = 16; i < 64; ++i) {
        DWORD s0 = Rotate(schedule[i - 15], 7) ^ Rotate(schedule[i - 15], 18) ^ (schedule[i - 15] >> 3);
        DWORD s1 = Rotate(schedule[i - 2], 17) ^ Rotate(schedule[i - 2], 19) ^ (schedule[i - 2] >> 10);
        schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
    }
    memcpy(v, hash, sizeof(v));
    for (i = 0; i < 64; ++i) {
        DWORD s1 = Rotate(v[4], 6) ^ Rotate(v[4], 11) ^ Rotate(v[4], 25);
        DWORD choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        DWORD t1 = v[7] + s1 + choice + ROUND_CONSTANTS[i] + schedule[i];
        DWORD s0 = Rotate(v[0], 2) ^ Rotate(v[0], 13) ^ Rotate(v[0], 22);
        DWORD majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        memmove(v + 1, v, 7 * sizeof(DWORD));
        v[4] += t1;
        v[0] = t1 + s0 + majority;
    }
    for (i = 0; i < 8; ++i)
        hash[i] += v[i];
}

} // namespace

void Sha256Begin(Sha256State *state)
{
    memset(state, 0, sizeof(*state));
    memcpy(state->hash, INITIAL_HASH, sizeof(INITIAL_HASH));
}

void Sha256Add(Sha256State *state, const void *data, size_t size)
{
    const BYTE *bytes = (const BYTE *)data;

    while (size > 0) {
        size_t piece = SHA256_BLOCK_SIZE - state->blockUsed;
        if (piece > size)
            piece = size;
        memcpy(state->block + state->blockUsed, bytes, piece);
        state->blockUsed += (DWORD)piece;
        bytes += piece;
        size -= piece;
        if (state->bytesLow + (DWORD)piece < state->bytesLow)
            ++state->bytesHigh;
        state->bytesLow += (DWORD)piece;
        if (state->blockUsed == SHA256_BLOCK_SIZE) {
            CompressBlock(state->hash, state->block);
            state->blockUsed = 0;
        }
    }
}

void Sha256End(Sha256State *state, BYTE *digest)
{
    DWORD bitsHigh = (state->bytesHigh << 3) | (state->bytesLow >> 29);
    DWORD bitsLow = state->bytesLow << 3;
    int i;

    state->block[state->blockUsed++] = 0x80;
    if (state->blockUsed > LENGTH_OFFSET) {
        memset(state->block + state->blockUsed, 0, SHA256_BLOCK_SIZE - state->blockUsed);
        CompressBlock(state->hash, state->block);
        state->blockUsed = 0;
    }
    memset(state->block + state->blockUsed, 0, LENGTH_OFFSET - state->blockUsed);
    WriteBigEndian(state->block + LENGTH_OFFSET, bitsHigh);
    WriteBigEndian(state->block + LENGTH_OFFSET + 4, bitsLow);
    CompressBlock(state->hash, state->block);
    for (i = 0; i < 8; ++i)
        WriteBigEndian(digest + 4 * i, state->hash[i]);
}
