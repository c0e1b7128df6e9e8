#pragma once
/// @file
/// The host's password cipher.
#include <string>

#include "host/Export.h"

/// The host's password cipher: AES-256-GCM with a 32-byte key kept in a key file whose path
/// is the [NAS] registry key sIsilonKeyFile. The enciphered text is printable (base64).
/// Every function reads the key file afresh and is safe from any thread.
class ISILON_API QuorPassword {
 public:
  /// The size of the buffer decrypt() is given, in bytes.
  enum { kBufferSize = 2048 };
  /// Deciphers `cipherText` with the configured key file.
  /// `*length` is the buffer's size in bytes (2048 by contract). Non-zero on success: the buffer
  /// then holds the clear text, zero-terminated, and `*length` its length. Zero on any failure
  /// (no key, wrong key, tampered or truncated text, clear text that does not fit): the buffer is
  /// then left all zero, never a partial clear text.
  static int decrypt(const char* cipherText, char* buffer, int* length);
  /// The matching encipher for our own tools, with the configured key file. Empty result on
  /// failure (no key file, or one that holds no key).
  static std::string encrypt(const std::string& clearText);
  /// decrypt() with an explicit key file (for tools that are given one).
  static int decryptWithKeyFile(const std::string& keyFile, const char* cipherText, char* buffer, int* length);
  /// encrypt() with an explicit key file.
  static std::string encryptWithKeyFile(const std::string& keyFile, const std::string& clearText);
  /// Writes a new random key file (mode 0600). True when the file now exists: a file already
  /// there is kept as it is, never replaced. False on failure (empty path, no randomness, a
  /// file that cannot be written).
  static bool createKeyFile(const std::string& path);
};
