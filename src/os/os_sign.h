// Authenticode signatures on programs, made with the system's cryptography: crypt32 opens the PKCS#12
// credentials and finds the certificate whose private key it holds; the CryptoAPI provider of that key
// hashes (SHA-256) and signs. Both are bound when first needed, so a program that never signs does not
// need them (the Windows 95 family may lack crypt32).
//
// The signature is built here rather than by the system's signer (mssign32's SignerSignEx), which Wine
// does not implement, and rather than through crypt32's message encoder, which under Wine labels every
// signed content as plain data: a SignedData holding the image's SpcIndirectDataContent, signed over its
// authenticated attributes, the way every signing tool writes it.
//
// As everywhere in os/, failure leaves the system's code in LastError(); the kit above turns it into its
// own exception. The native build cannot sign: it fails with SignFailure::Unavailable.
#pragma once

#include <string>

namespace os {

enum class SignFailure {
  None,
  Unavailable,  // the system offers no way to sign (no crypt32, or the native build)
  Reading,      // the credentials file or the password file cannot be read
  Credentials,  // the credentials cannot be opened with the password
  PrivateKey,   // none of their certificates comes with a private key that can sign
  Program,      // the source cannot be read, or is not a PE image
  Signing,      // the provider refused to hash or sign
  Writing,      // the target cannot be written
};

// Writes to Target (created, or emptied) the program Source with an Authenticode signature: the SHA-256
// digest of its image (everything but its checksum, its security directory entry and any earlier
// certificate table, which the new one replaces), signed with the certificate and private key in the
// PKCS#12 file CredentialsFile, opened with the first line of PasswordFile (an empty password when it
// is ""); the certificate travels in the signature with every other one there. The table is appended
// after zeros up to 8-byte alignment and named in the security directory, and the checksum is set.
// Source is only read. On failure Target may hold part of the result, for the caller to remove. The key
// the system imported for the run is deleted again.
SignFailure SignProgram(const std::string& source, const std::string& target, const std::string& credentialsFile,
                        const std::string& passwordFile);

}  // namespace os
