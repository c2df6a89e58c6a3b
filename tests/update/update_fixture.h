// A publisher and a traveller in one test: a fresh key pair, the sample timetable packed
// under chosen names and sequences, served by UpdateServer, and a store in a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "update/catalogue.h"
#include "update/package.h"
#include "update/updater.h"
#include "update_server.h"

namespace korvel::update_test {

using namespace korvel::update;
namespace fs = std::filesystem;

class UpdateFixture : public ::testing::Test {
  public:  // the refusal cases reach into the publisher's side
    void SetUp() override {
        char pattern[] = "/tmp/korvel_update_XXXXXX";
        dir_ = ::mkdtemp(pattern);
        keys_ = GenerateKeyPair();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Root() const { return dir_ + "/store"; }
    Store TheStore() const { return Store(Root()); }

    // Packs the sample timetable as NAME/SEQUENCE and serves it with a catalogue listing it
    // (and whatever was published before). Returns the package's bytes.
    std::string Publish(const std::string& name, std::uint64_t sequence,
                        std::time_t expires = std::time(nullptr) + 86400) {
        const Package p =
            PackFolder(KORVEL_SAMPLE_STREAMS, name, sequence, {name, "2019-07-01", "test"});
        const std::string bytes = FormatPackage(p);
        const std::string file = name + std::string(kPackageSuffix);
        std::erase_if(catalogue_.packages, [&](const auto& e) { return e.name == name; });
        catalogue_.packages.push_back(
            {name, sequence, "2019-07-01", bytes.size(), data::Sha256Hex(bytes), file});
        catalogue_.published = std::time(nullptr);
        catalogue_.expires = expires;
        server_.Set("/" + file, {Behaviour::Serve, bytes});
        server_.Set("/" + file + ".minisig",
                    {Behaviour::Serve, SignMessage(keys_.secretKey, bytes, name)});
        ServeCatalogue(FormatCatalogue(catalogue_), keys_.secretKey);
        return bytes;
    }
    void ServeCatalogue(const std::string& text, const SecretKey& key) {
        server_.Set("/catalogue.json", {Behaviour::Serve, text});
        server_.Set("/catalogue.json.minisig", {Behaviour::Serve, SignMessage(key, text, "c")});
    }

    UpdateOptions Options() const {
        UpdateOptions o;
        o.catalogueUrl = server_.Url("/catalogue.json");
        o.publicKey = keys_.publicKey;
        o.limits.connectTimeout = std::chrono::milliseconds(2000);
        o.limits.totalTimeout = std::chrono::milliseconds(10000);
        o.limits.stallTimeout = std::chrono::milliseconds(1000);
        o.limits.lowSpeedWindow = std::chrono::milliseconds(1500);
        return o;
    }
    UpdateResult Update() {
        const auto fetcher = MakeCurlFetcher();
        return RunUpdate(TheStore(), *fetcher, Options());
    }

    // The store's entries other than installed timetables and its own files: work files.
    std::vector<std::string> WorkFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Root())) {
            const std::string n = e.path().filename().string();
            if (n.front() == '.' && n != ".lock") names.push_back(n);
        }
        return names;
    }

    std::string dir_;
    KeyPair keys_;
    Catalogue catalogue_;
    UpdateServer server_;
};

}  // namespace korvel::update_test
