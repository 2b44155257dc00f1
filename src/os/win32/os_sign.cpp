// Authenticode signatures through crypt32 and the CryptoAPI providers (see os_sign.h).
#include "os/os_sign.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "os/win32/win.h"

#include <wincrypt.h>

namespace os {
namespace {

template <class Action>
struct Finally {
  Action action;
  ~Finally() { action(); }
};
template <class Action>
Finally(Action) -> Finally<Action>;

template <class F>
bool Bind(HMODULE module, const char* name, F& function) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return function != nullptr;
}

// What signing needs of the system, bound at run time: crypt32 from the system directory, the providers'
// functions from advapi32 (which the kit has loaded anyway, but whose cryptography the oldest systems lack).
struct Crypto {
  HMODULE crypt32 = nullptr;
  decltype(&::PFXImportCertStore) importPfx;
  decltype(&::CertEnumCertificatesInStore) enumCertificates;
  decltype(&::CertCloseStore) closeStore;
  decltype(&::CryptAcquireCertificatePrivateKey) acquireCertificateKey;
  decltype(&::CryptAcquireContextA) acquireContext;
  decltype(&::CryptReleaseContext) releaseContext;
  decltype(&::CryptGetProvParam) getProvParam;
  decltype(&::CryptCreateHash) createHash;
  decltype(&::CryptHashData) hashData;
  decltype(&::CryptGetHashParam) getHashParam;
  decltype(&::CryptSignHashA) signHash;
  decltype(&::CryptDestroyHash) destroyHash;

  ~Crypto() {
    if (crypt32 != nullptr) ::FreeLibrary(crypt32);
  }
  bool Load() {
    char path[MAX_PATH + 16];
    const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    lstrcpyA(path + length, "\\crypt32.dll");
    crypt32 = ::LoadLibraryA(path);
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    return crypt32 != nullptr && advapi != nullptr && Bind(crypt32, "PFXImportCertStore", importPfx) &&
           Bind(crypt32, "CertEnumCertificatesInStore", enumCertificates) &&
           Bind(crypt32, "CertCloseStore", closeStore) &&
           Bind(crypt32, "CryptAcquireCertificatePrivateKey", acquireCertificateKey) &&
           Bind(advapi, "CryptAcquireContextA", acquireContext) && Bind(advapi, "CryptReleaseContext", releaseContext) &&
           Bind(advapi, "CryptGetProvParam", getProvParam) && Bind(advapi, "CryptCreateHash", createHash) &&
           Bind(advapi, "CryptHashData", hashData) && Bind(advapi, "CryptGetHashParam", getHashParam) &&
           Bind(advapi, "CryptSignHashA", signHash) && Bind(advapi, "CryptDestroyHash", destroyHash);
  }
};

// CALG_SHA_256, which the headers declare only for systems newer than the kit's oldest.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

// A SHA-256 hash object of a provider.
class Sha256 {
 public:
  static constexpr DWORD kSize = 32;

  Sha256(const Crypto& crypto, HCRYPTPROV provider) : crypto_(crypto) {
    if (!crypto.createHash(provider, kSha256, 0, 0, &hash_)) hash_ = 0;
  }
  ~Sha256() {
    if (hash_ != 0) crypto_.destroyHash(hash_);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Add(const void* data, std::size_t count) {
    return hash_ != 0 && crypto_.hashData(hash_, static_cast<const BYTE*>(data), DWORD(count), 0);
  }
  // The digest into Out (kSize bytes).
  bool Value(void* out) {
    DWORD size = kSize;
    return hash_ != 0 && crypto_.getHashParam(hash_, HP_HASHVAL, static_cast<BYTE*>(out), &size, 0) && size == kSize;
  }
  // The digest signed with the provider's key of kind Which (signature or exchange) into Out (Size bytes
  // at most), most significant byte first; its size, or 0 when refused.
  DWORD Sign(DWORD which, unsigned char* out, DWORD size) {
    if (hash_ == 0 || !crypto_.signHash(hash_, which, nullptr, 0, out, &size)) return 0;
    std::reverse(out, out + size);  // the provider gives it least significant byte first
    return size;
  }

 private:
  const Crypto& crypto_;
  HCRYPTHASH hash_ = 0;
};

// ---- The signature, in DER. A SHA-256 digest has a fixed size, and so has everything around it up to
// the SignerInfo; what varies (the signer's name, the signature, the certificates) is wrapped as it comes.

#define SHA256_ALGORITHM "\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00"
#define RSA_ALGORITHM "\x30\x0d\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01\x05\x00"
#define SPC_PREFIX "\x06\x0a\x2b\x06\x01\x04\x01\x82\x37\x02\x01"  // 1.3.6.1.4.1.311.2.1.
#define INDIRECT_DATA SPC_PREFIX "\x04"
// SpcIndirectDataContent up to the image's digest: a PE image (SpcPeImageData without flags and with
// the customary file link "<<<Obsolete>>>"), then the digest's algorithm.
#define INDIRECT_CONTENT                                                                                  \
  "\x30\x68\x30\x33" SPC_PREFIX "\x0f\x30\x25\x03\x01\x00\xa0\x20\xa2\x1e\x80\x1c"                            \
  "\x00\x3c\x00\x3c\x00\x3c\x00\x4f\x00\x62\x00\x73\x00\x6f\x00\x6c\x00\x65\x00\x74\x00\x65\x00\x3e\x00\x3e" \
  "\x00\x3e\x30\x31" SHA256_ALGORITHM "\x04\x20"
// The authenticated attributes as a SET, in DER order, up to the message digest: an empty
// SpcSpOpusInfo, the content type, the statement type (individual code signing), the message digest.
#define ATTRIBUTES                                                                \
  "\x31\x7c\x30\x10" SPC_PREFIX "\x0c\x31\x02\x30\x00"                            \
  "\x30\x19\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x09\x03\x31\x0c" INDIRECT_DATA   \
  "\x30\x1c" SPC_PREFIX "\x0b\x31\x0e\x30\x0c" SPC_PREFIX "\x15"                 \
  "\x30\x2f\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x09\x04\x31\x22\x04\x20"

// A DER value built back to front: each part goes before what is already there, so that a constructed
// value's length is known when its header is put before its content.
class Der {
 public:
  void Put(const void* bytes, std::size_t count) { bytes_.insert(0, static_cast<const char*>(bytes), count); }
  std::size_t Mark() const { return bytes_.size(); }
  // Makes all put since Mark the content of a value with Tag.
  void Wrap(unsigned char tag, std::size_t mark = 0) {
    char header[6];
    std::size_t at = sizeof header, length = bytes_.size() - mark;
    if (length > 0x7F) {
      for (; length != 0; length >>= 8) header[--at] = char(length);
      length = 0x80 | (sizeof header - at);
    }
    header[--at] = char(length);
    header[--at] = char(tag);
    Put(header + at, sizeof header - at);
  }
  std::string& Bytes() { return bytes_; }

 private:
  std::string bytes_;
};
#define PUT(der, literal) (der).Put(literal, sizeof literal - 1)

// ---- The image. Positions are 32-bit: a program, and a self-extractor's record, stay below 2 GB.

constexpr std::uint32_t kHeadersRead = 4096;
constexpr std::uint32_t kBlock = 16384;

struct Layout {
  std::uint32_t checksum = 0;   // where the checksum is
  std::uint32_t directory = 0;  // where the security directory entry is
  std::uint32_t end = 0;        // where the signed bytes end: the file's end, or an earlier table's start
};

std::uint32_t Get32(const unsigned char* at) { return at[0] | at[1] << 8 | at[2] << 16 | std::uint32_t(at[3]) << 24; }
void Put32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

bool ReadLayout(File& file, Layout& layout) {
  unsigned char headers[kHeadersRead] = {};
  const std::int64_t size = file.Size();
  if (size < 0 || size > 0x7FFFFFFF || file.Read(headers, sizeof headers) < 0x40) return false;
  const std::uint32_t pe = Get32(headers + 0x3C), optional = pe + 24;
  // Everything read from the headers lies in the block read.
  if (pe > kHeadersRead - 24 - 160 || Get32(headers + pe) != 0x4550 || headers[optional] != 0x0B) return false;
  const std::uint32_t wide = headers[optional + 1] == 2 ? 16 : 0;  // a 64-bit image's fields are longer
  if ((!wide && headers[optional + 1] != 1) || Get32(headers + optional + 92 + wide) <= 4) return false;
  layout.checksum = optional + 64;
  layout.directory = optional + 128 + wide;
  const std::uint32_t table = Get32(headers + layout.directory);
  layout.end = std::uint32_t(size);
  // An earlier signature is replaced; a table anywhere but at the end is none this can replace.
  if (table != 0) {
    if (table > layout.end || layout.end - table != Get32(headers + layout.directory + 4)) return false;
    layout.end = table;
  }
  return layout.end >= layout.directory + 8 && file.Seek(0, Origin::Begin) == 0;
}

// Adds bytes found at Position of the file to the checksum: the sum of its 16-bit little-endian words,
// each carry added back in.
void AddToSum(std::uint32_t& sum, const void* bytes, std::uint32_t count, std::uint32_t position) {
  for (std::uint32_t i = 0; i < count; ++i) {
    sum += std::uint32_t(static_cast<const unsigned char*>(bytes)[i]) << ((position + i) & 1) * 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
}

// A whole file, of a size credentials can have.
bool ReadWhole(const std::string& path, std::string& bytes) {
  File file = File::Open(path, Access::Read, Share::DenyWrite, Disposition::OpenExisting);
  const std::int64_t size = file ? file.Size() : -1;
  if (size < 0 || size > 0x100000) return false;
  bytes.resize(std::size_t(size));
  return file.Read(bytes.data(), bytes.size()) == size;
}

// Writes Count bytes at Position.
bool WriteAt(File& file, std::uint32_t position, const void* bytes, std::uint32_t count) {
  return file.Seek(position, Origin::Begin) == position && file.Write(bytes, count) == count;
}

}  // namespace

SignFailure SignProgram(const std::string& source, const std::string& target, const std::string& credentialsFile,
                        const std::string& passwordFile) {
  Crypto crypto;
  if (!crypto.Load()) return SignFailure::Unavailable;
  std::string credentials, password;
  if (!ReadWhole(credentialsFile, credentials) || (!passwordFile.empty() && !ReadWhole(passwordFile, password)))
    return SignFailure::Reading;
  password.resize(std::strcspn(password.c_str(), "\r\n"));

  File in = File::Open(source, Access::Read, Share::DenyWrite, Disposition::OpenExisting);
  Layout layout;
  if (!in) return SignFailure::Program;
  if (!ReadLayout(in, layout)) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return SignFailure::Program;
  }

  // The credentials. A password longer than any sensible one cannot be right.
  WCHAR widePassword[256];
  if (::MultiByteToWideChar(CP_ACP, 0, password.c_str(), -1, widePassword, 256) == 0) return SignFailure::Credentials;
  CRYPT_DATA_BLOB pfx{DWORD(credentials.size()), reinterpret_cast<BYTE*>(const_cast<char*>(credentials.data()))};
  HCERTSTORE store = crypto.importPfx(&pfx, widePassword, 0);
  // Without a password a file may have been written with an empty one or with none at all.
  if (store == nullptr && password.empty()) store = crypto.importPfx(&pfx, nullptr, 0);
  if (store == nullptr) return SignFailure::Credentials;
  // Every certificate goes into the signature, the signer's first. The SignerInfo begins with the
  // signer's issuer and serial number (which comes least significant byte first and goes as a positive
  // integer).
  std::string certificates;
  Der der;
  char container[256] = "";
  DWORD keyKind = 0;
  {
    const Finally closeStore{[&] { crypto.closeStore(store, 0); }};
    for (PCCERT_CONTEXT certificate = nullptr; (certificate = crypto.enumCertificates(store, certificate)) != nullptr;) {
      const char* encoded = reinterpret_cast<const char*>(certificate->pbCertEncoded);
      HCRYPTPROV key = 0;
      DWORD length = sizeof container;
      BOOL release = FALSE;
      if (container[0] == '\0' &&
          crypto.acquireCertificateKey(certificate, CRYPT_ACQUIRE_COMPARE_KEY_FLAG | CRYPT_ACQUIRE_SILENT_FLAG,
                                       nullptr, &key, &keyKind, &release)) {
        // The key's container, to be opened by a provider that knows SHA-256 (the import may choose one
        // that does not).
        if (!crypto.getProvParam(key, PP_CONTAINER, reinterpret_cast<BYTE*>(container), &length, 0)) container[0] = '\0';
        if (release) crypto.releaseContext(key, 0);
        if (container[0] != '\0') {
          const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
          const CERT_NAME_BLOB& issuer = certificate->pCertInfo->Issuer;
          for (DWORD i = 0; i < serial.cbData; ++i) der.Put(serial.pbData + i, 1);
          if (serial.cbData == 0 || (serial.pbData[serial.cbData - 1] & 0x80) != 0) der.Put("", 1);
          der.Wrap(0x02);
          der.Put(issuer.pbData, issuer.cbData);
          der.Wrap(0x30);
          certificates.insert(0, encoded, certificate->cbCertEncoded);
          continue;
        }
      }
      certificates.append(encoded, certificate->cbCertEncoded);
    }
  }
  if (container[0] == '\0') {
    SetLastError(DWORD(NTE_NO_KEY));
    return SignFailure::PrivateKey;
  }
  // The import made the container for this run alone.
  const Finally removeKey{[&] {
    HCRYPTPROV removed;
    crypto.acquireContext(&removed, container, nullptr, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  }};
  HCRYPTPROV provider = 0;
  if (!crypto.acquireContext(&provider, container, nullptr, PROV_RSA_AES, CRYPT_SILENT)) return SignFailure::Signing;
  const Finally releaseProvider{[&] { crypto.releaseContext(provider, 0); }};
  // A key for exchange signs as well; Wine names no proper kind of key at all, and has one for exchange.
  if (keyKind != AT_SIGNATURE) keyKind = AT_KEYEXCHANGE;

  // One pass over the image, up to the table and the zeros that align it: the digest takes every byte
  // but the checksum and the security directory entry (both in the first block), which the copy has
  // zero for now; the checksum's sum is kept as the copy is written.
  File out = File::Open(target, Access::Write, Share::Exclusive, Disposition::CreateAlways);
  if (!out) return SignFailure::Writing;
  unsigned char block[kBlock];
  Sha256 image(crypto, provider);
  std::uint32_t sum = 0;
  std::uint32_t at = 0;
  const std::uint32_t end = (layout.end + 7) & ~7u, skipped[] = {layout.checksum, 4, layout.directory, 8};
  while (at < end) {
    const std::uint32_t count = std::min(kBlock, end - at), read = std::min(count, layout.end - std::min(at, layout.end));
    if (in.Read(block, read) != read) return SignFailure::Program;
    std::fill_n(block + read, count - read, 0);
    std::uint32_t from = 0;
    for (int i = 0; at == 0 && i < 4; i += 2) {
      if (!image.Add(block + from, skipped[i] - from)) return SignFailure::Signing;
      std::fill_n(block + skipped[i], skipped[i + 1], 0);
      from = skipped[i] + skipped[i + 1];
    }
    if (!image.Add(block + from, count - from)) return SignFailure::Signing;
    AddToSum(sum, block, count, at);
    if (out.Write(block, count) != count) return SignFailure::Writing;
    at += count;
  }

  // What is signed: the image's digest in an SpcIndirectDataContent, whose content octets (after its
  // two-byte header) the message digest attribute holds; the signature is over the attributes.
  unsigned char indirect[sizeof INDIRECT_CONTENT - 1 + Sha256::kSize] = INDIRECT_CONTENT;
  unsigned char attributes[sizeof ATTRIBUTES - 1 + Sha256::kSize] = ATTRIBUTES;
  unsigned char signature[1024];
  Sha256 content(crypto, provider), signedAttributes(crypto, provider);
  DWORD signatureSize = 0;
  if (image.Value(indirect + sizeof indirect - Sha256::kSize) && content.Add(indirect + 2, sizeof indirect - 2) &&
      content.Value(attributes + sizeof attributes - Sha256::kSize) && signedAttributes.Add(attributes, sizeof attributes))
    signatureSize = signedAttributes.Sign(keyKind, signature, sizeof signature);
  if (signatureSize == 0) return SignFailure::Signing;

  // ContentInfo { signedData, [0] SignedData { version 1, { SHA-256 }, ContentInfo { SPC indirect data,
  // [0] the content }, [0] the certificates, { SignerInfo { version 1, the signer, SHA-256, [0] the
  // attributes, RSA, the signature } } } }, built from its end, after the table's header:
  // WIN_CERTIFICATE, its length (a multiple of 8), revision 2.0, PKCS#7 SignedData.
  Der value;
  value.Put(signature, signatureSize);
  value.Wrap(0x04);
  attributes[0] = 0xA0;  // in the SignerInfo, as its [0]
  std::string& bytes = der.Bytes();
  bytes.append(SHA256_ALGORITHM, sizeof SHA256_ALGORITHM - 1);
  bytes.append(reinterpret_cast<const char*>(attributes), sizeof attributes);
  bytes.append(RSA_ALGORITHM, sizeof RSA_ALGORITHM - 1);
  bytes += value.Bytes();
  PUT(der, "\x02\x01\x01");
  der.Wrap(0x30);
  der.Wrap(0x31);
  const std::size_t signerInfos = der.Mark();
  der.Put(certificates.data(), certificates.size());
  der.Wrap(0xA0, signerInfos);
  der.Put(indirect, sizeof indirect);
  PUT(der, "\x02\x01\x01\x31\x0f" SHA256_ALGORITHM "\x30\x78" INDIRECT_DATA "\xa0\x6a");
  der.Wrap(0x30);
  der.Wrap(0xA0);
  PUT(der, "\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x02");
  der.Wrap(0x30);
  PUT(der, "\0\0\0\0\x00\x02\x02\x00");
  bytes.resize((bytes.size() + 7) & ~std::size_t(7));
  unsigned char* table = reinterpret_cast<unsigned char*>(bytes.data());
  const std::uint32_t tableSize = std::uint32_t(bytes.size());
  Put32(table, tableSize);
  AddToSum(sum, table, tableSize, at);
  if (out.Write(table, tableSize) != tableSize) return SignFailure::Writing;

  // The security directory names the table; the checksum is the sum and the file's length.
  unsigned char fields[12];
  Put32(fields, at);
  Put32(fields + 4, tableSize);
  AddToSum(sum, fields, 8, layout.directory);
  Put32(fields + 8, sum + at + tableSize);
  return WriteAt(out, layout.directory, fields, 8) && WriteAt(out, layout.checksum, fields + 8, 4) ? SignFailure::None
                                                                                                  : SignFailure::Writing;
}

}  // namespace os
