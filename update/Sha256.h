// SHA-256 of a block of memory, for comparing a package signer's public
// key with the one this build is pinned to (PackageVault). Computed here:
// the system's own provider has no SHA-256 before XP SP3, and acquiring
// one loads a library by name.
#pragma once
#include <stddef.h>

void Sha256(const void* pData, size_t cb, unsigned char digest[32]);
