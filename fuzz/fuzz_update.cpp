// The update parsers over arbitrary bytes: the first byte picks the catalogue, the signature
// (and its verification) or the package. Whatever parses must format back to itself, and no
// input may be taken as signed by a key that did not sign it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/catalogue.h"
#include "update/names.h"
#include "update/package.h"
#include "update/signature.h"

namespace {

using namespace korvel::update;

void Check(bool ok) {
    if (!ok) std::abort();
}

void FuzzCatalogue(std::string_view text) {
    std::string error;
    const auto catalogue = ParseCatalogue(text, error);
    Check(catalogue.has_value() == error.empty());
    if (!catalogue) return;
    for (const CatalogueEntry& e : catalogue->packages) {
        Check(IsPackageName(e.name) && e.file == e.name + std::string(kPackageSuffix));
        Check(e.size > 0 && e.size <= kMaxPackageBytes && e.sequence > 0);
    }
    const auto again = ParseCatalogue(FormatCatalogue(*catalogue), error);
    Check(again && *again == *catalogue);
}

void FuzzSignature(std::string_view text) {
    static const KeyPair keys = GenerateKeyPair();
    std::string error;
    const auto sig = ParseSignature(text, error);
    Check(sig.has_value() == error.empty());
    // A fresh key nobody else has: nothing the fuzzer makes up may verify under it.
    Check(!VerifySignature(keys.publicKey, "message", text).empty());
    ParsePublicKey(text, error);
    ParseSecretKey(text, error);
}

void FuzzPackage(std::string_view bytes) {
    std::string error;
    const auto package = ParsePackage(bytes, error);
    if (!package) return;
    Check(IsPackageName(package->name) && package->files.size() == 5);
    Check(CheckFilesAgainstManifest(package->manifest, package->files).empty());
    Check(FormatPackage(*package) == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0: FuzzCatalogue(rest); break;
        case 1: FuzzSignature(rest); break;
        default: FuzzPackage(rest); break;
    }
    return 0;
}
