#include "gtfs/feed_files.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace korvel::gtfs {
namespace {

// 2019-01-01 00:00 UTC: the archive's file dates, so that one feed always zips alike.
constexpr std::time_t kZipFileTime = 1546300800;

std::string TooLarge(const std::string& name) {
    return name + ": larger than " + std::to_string(kMaxGtfsFileBytes >> 20) + " MiB";
}

// A file of a feed folder: a regular file (or a link to one), read up to the cap.
std::optional<std::string> ReadFolderFile(const fs::path& path, const std::string& name) {
    std::error_code ec;
    const fs::file_status linkStatus = fs::symlink_status(path, ec);
    if (linkStatus.type() == fs::file_type::not_found) return std::nullopt;
    if (fs::status(path, ec).type() != fs::file_type::regular) {
        throw GtfsError(name + ": not a regular file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw GtfsError(name + ": cannot be read");
    std::string text;
    char buf[1 << 16];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxGtfsFileBytes) throw GtfsError(TooLarge(name));
    }
    if (in.bad()) throw GtfsError(name + ": cannot be read");
    return text;
}

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};

// The archive's entries at its top level (or, as some feeds are packed, under one folder).
GtfsFeed ReadZip(const std::string& path) {
    int code = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const std::string why = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw GtfsError(code == ZIP_ER_NOZIP ? std::string("not a zip archive")
                                             : "cannot read the zip archive: " + why);
    }
    GtfsFeed feed;
    const zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), i, 0, &st) != 0 || !st.name) continue;
        std::string name = st.name;
        name = name.substr(name.find_last_of('/') + 1);
        if (!IsGtfsFileName(name)) continue;
        if (feed.count(name)) throw GtfsError(name + ": in the archive twice");
        if ((st.valid & ZIP_STAT_SIZE) && st.size > kMaxGtfsFileBytes) {
            throw GtfsError(TooLarge(name));
        }
        zip_file_t* file = zip_fopen_index(archive.get(), i, 0);
        if (!file) throw GtfsError(name + ": cannot be unpacked");
        std::string text;
        char buf[1 << 16];
        zip_int64_t n;
        while ((n = zip_fread(file, buf, sizeof buf)) > 0) {
            text.append(buf, static_cast<std::size_t>(n));
            if (text.size() > kMaxGtfsFileBytes) break;
        }
        zip_fclose(file);
        if (text.size() > kMaxGtfsFileBytes) throw GtfsError(TooLarge(name));
        if (n < 0) throw GtfsError(name + ": cannot be unpacked (damaged archive)");
        feed.emplace(name, std::move(text));
    }
    return feed;
}

}  // namespace

bool IsGtfsFileName(std::string_view name) {
    return std::find(kFeedFiles.begin(), kFeedFiles.end(), name) != kFeedFiles.end();
}

GtfsFeed ReadGtfsFeed(const std::string& path) {
    std::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    if (type == fs::file_type::regular) return ReadZip(path);
    if (type != fs::file_type::directory) {
        throw GtfsError(type == fs::file_type::not_found ? "no such folder or zip archive"
                                                         : "not a folder or a zip archive");
    }
    GtfsFeed feed;
    for (const std::string_view name : kFeedFiles) {
        const std::string file(name);
        if (auto text = ReadFolderFile(fs::path(path) / file, file)) feed[file] = std::move(*text);
    }
    return feed;
}

std::optional<std::string> ZipGtfsFeed(const GtfsFeed& feed, std::string* error) {
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &ze);
    auto fail = [&](zip_error_t* why) -> std::optional<std::string> {
        if (error) *error = zip_error_strerror(why);
        return std::nullopt;
    };
    if (!buffer) return fail(&ze);
    zip_source_keep(buffer);  // the archive's bytes stay readable after zip_close
    std::unique_ptr<zip_source_t, decltype(&zip_source_free)> keep(buffer, zip_source_free);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &ze);
    if (!archive) return fail(&ze);
    for (const auto& [name, text] : feed) {
        zip_source_t* s = zip_source_buffer(archive, text.data(), text.size(), 0);
        const zip_int64_t index =
            s ? zip_file_add(archive, name.c_str(), s, ZIP_FL_ENC_UTF_8) : zip_int64_t{-1};
        if (index < 0 || zip_file_set_mtime(archive, index, kZipFileTime, 0) != 0 ||
            zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 6) != 0) {
            if (s && index < 0) zip_source_free(s);
            const auto failed = fail(zip_get_error(archive));
            zip_discard(archive);
            return failed;
        }
    }
    if (zip_close(archive) != 0) {
        const auto failed = fail(zip_get_error(archive));
        zip_discard(archive);
        return failed;
    }
    std::string bytes;
    zip_stat_t st;
    if (zip_source_stat(buffer, &st) != 0 || zip_source_open(buffer) != 0) {
        return fail(zip_source_error(buffer));
    }
    bytes.resize(static_cast<std::size_t>(st.size));
    const zip_int64_t n = zip_source_read(buffer, bytes.data(), bytes.size());
    zip_source_close(buffer);
    if (n != static_cast<zip_int64_t>(bytes.size())) return fail(zip_source_error(buffer));
    return bytes;
}

}  // namespace korvel::gtfs
