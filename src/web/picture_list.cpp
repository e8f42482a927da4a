#include "web/picture_list.h"

#include "web/json.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace tw::web {

namespace {

bool digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
    });
}

bool picture_extension(std::string_view extension) {
    std::string lower(extension);
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == ".jpg" || lower == ".bmp" || lower == ".gif" || lower == ".png";
}

std::string_view kind_name(PictureKind kind) {
    switch (kind) {
        case PictureKind::today: return "today";
        case PictureKind::archive: return "archive";
        case PictureKind::spectrogram: return "spectrogram";
    }
    return "";
}

}  // namespace

bool parse_picture_name(std::string_view name, PictureFile* picture) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || !picture_extension(name.substr(dot))) return false;
    const auto stem = name.substr(0, dot);
    PictureFile found;
    found.name = std::string(name);
    std::string_view rest;
    if (stem.rfind("drum_", 0) == 0) {
        rest = stem.substr(5);
        found.kind = PictureKind::today;
    } else if (stem.rfind("jtf_", 0) == 0) {
        rest = stem.substr(4);
        found.kind = PictureKind::spectrogram;
    } else {
        return false;
    }
    if (rest.size() == 8 && digits(rest.substr(0, 6)) && rest[6] == '_') {
        found.date = std::string(rest.substr(0, 6));
        rest = rest.substr(7);
        if (found.kind == PictureKind::today) found.kind = PictureKind::archive;
    } else if (found.kind == PictureKind::spectrogram) {
        return false;
    }
    if (rest.size() != 1 || rest[0] < '1' || rest[0] > '4') return false;
    found.channel = rest[0] - '0';
    *picture = std::move(found);
    return true;
}

std::vector<PictureFile> list_pictures(const std::filesystem::path& folder) {
    std::vector<PictureFile> out;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        PictureFile picture;
        if (!parse_picture_name(it->path().filename().string(), &picture)) continue;
        struct stat info {};
        // stat follows links: a link is listed only when it leads to a
        // regular file; serving it checks where it leads.
        if (::stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        picture.modified = info.st_mtim.tv_sec;
        out.push_back(std::move(picture));
    }
    std::sort(out.begin(), out.end(), [](const PictureFile& a, const PictureFile& b) {
        const bool a_today = a.kind == PictureKind::today, b_today = b.kind == PictureKind::today;
        if (a_today != b_today) return a_today;
        if (a.date != b.date) return a.date > b.date;
        if (a.kind != b.kind) return a.kind < b.kind;
        if (a.channel != b.channel) return a.channel < b.channel;
        return a.name < b.name;
    });
    if (out.size() > max_pictures) out.resize(max_pictures);
    return out;
}

std::string pictures_json(const std::vector<PictureFile>& pictures,
                          const std::vector<int>& live_spectrograms) {
    std::string out = "{\"pictures\":[";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto& p = pictures[i];
        if (i > 0) out += ',';
        out += "{\"kind\":" + json_string(kind_name(p.kind));
        out += ",\"file\":" + json_string(p.name);
        out += ",\"channel\":" + std::to_string(p.channel);
        out += ",\"date\":" + json_string(p.date);
        out += ",\"modified\":" + std::to_string(p.modified) + "}";
    }
    out += "],\"live_spectrograms\":[";
    for (std::size_t i = 0; i < live_spectrograms.size(); ++i) {
        if (i > 0) out += ',';
        out += std::to_string(live_spectrograms[i]);
    }
    out += "]}";
    return out;
}

}  // namespace tw::web
