#include "hostprogram/recordings/brainvision_text.h"

#include <charconv>
#include <cmath>

#include "hostprogram/support/text_trim.h"

namespace {

struct RawLine {
    int line;
    std::string section, key, value;
};

bool isReadSection(const std::string& section) {
    return section == "common infos" || section == "binary infos" || section == "channel infos" ||
           section == "marker infos";
}

// Checks the structure of UTF-8 only (lead bytes, continuation bytes, no
// overlong two-byte forms); enough to tell it from Latin-1 text.
bool isValidUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t continuation = 0;
        if (lead < 0x80)
            continuation = 0;
        else if (lead >= 0xC2 && lead <= 0xDF)
            continuation = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            continuation = 2;
        else if (lead >= 0xF0 && lead <= 0xF4)
            continuation = 3;
        else
            return false;
        if (at + continuation >= text.size() && continuation > 0) return false;
        for (std::size_t next = 1; next <= continuation; ++next)
            if ((static_cast<unsigned char>(text[at + next]) & 0xC0) != 0x80) return false;
        at += continuation + 1;
    }
    return true;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x80) {
            utf8 += character;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// The code page is needed before any value is decoded, so it is looked up
// among the raw lines first. Empty error: Latin-1 or not.
bool codePageIsLatin1(const std::vector<RawLine>& lines, bool& latin1, std::string& error) {
    latin1 = false;
    for (const RawLine& raw : lines) {
        if (raw.section != "common infos" || brainVisionLowerCase(raw.key) != "codepage") continue;
        const std::string name = brainVisionLowerCase(raw.value);
        if (name == "utf-8" || name == "utf8") {
            latin1 = false;
        } else if (name == "latin-1" || name == "latin1" || name == "ansi" ||
                   name == "iso-8859-1" || name == "windows-1252" || name == "cp1252") {
            latin1 = true;
        } else {
            error = "line " + std::to_string(raw.line) +
                    ": Codepage: expected UTF-8 or Latin-1, not " + latin1ToUtf8(raw.value);
            return false;
        }
    }
    return true;
}

bool splitLines(const std::string& bytes, BrainVisionText& text, std::string& error) {
    text = BrainVisionText();
    const bool byteOrderMark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    std::vector<RawLine> lines;
    std::string section;
    int number = 0;
    for (std::size_t start = byteOrderMark ? 3 : 0; start <= bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = trimmedText(bytes.substr(start, end - start));
        start = end + 1;
        ++number;
        if (number == 1) {
            text.firstLine = line;
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string::npos) {
                error = "line " + std::to_string(number) + ": expected a section name in [ ]";
                return false;
            }
            section = brainVisionLowerCase(trimmedText(line.substr(1, close - 1)));
            continue;
        }
        if (section == "comment") continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            if (!isReadSection(section)) continue;
            error = "line " + std::to_string(number) + ": expected key=value, not " +
                    latin1ToUtf8(line.substr(0, 40));
            return false;
        }
        lines.push_back({number, section, trimmedText(line.substr(0, equals)),
                         trimmedText(line.substr(equals + 1))});
    }
    bool latin1 = false;
    if (!codePageIsLatin1(lines, latin1, error)) return false;
    text.firstLine = isValidUtf8(text.firstLine) ? text.firstLine : latin1ToUtf8(text.firstLine);
    for (RawLine& raw : lines) {
        const bool asLatin1 = latin1 || !isValidUtf8(raw.value);
        text.entries.push_back({raw.line, std::move(raw.section), latin1ToUtf8(raw.key),
                                asLatin1 ? latin1ToUtf8(raw.value) : std::move(raw.value)});
    }
    return true;
}

bool isIdentification(const std::string& line, const std::string& kind) {
    std::string rest = trimmedText(line);
    for (const char* brand : {"Brain Vision ", "BrainVision "})
        if (rest.compare(0, std::string(brand).size(), brand) == 0) {
            rest = rest.substr(std::string(brand).size());
            const std::string middle = "Data Exchange " + kind + " File";
            if (rest.compare(0, middle.size(), middle) != 0) return false;
            rest = rest.substr(middle.size());
            if (!rest.empty() && rest[0] == ',') rest = rest.substr(1);
            return rest == " Version 1.0" || rest == " Version 2.0";
        }
    return false;
}

}  // namespace

std::string brainVisionLowerCase(std::string text) {
    for (char& character : text)
        if (character >= 'A' && character <= 'Z')
            character = static_cast<char>(character - 'A' + 'a');
    return text;
}

std::vector<std::string> splitBrainVisionFields(const std::string& value) {
    std::vector<std::string> fields(1);
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] == ',') {
            fields.emplace_back();
        } else if (value[at] == '\\' && at + 1 < value.size() && value[at + 1] == '1') {
            fields.back() += ',';
            ++at;
        } else {
            fields.back() += value[at];
        }
    }
    return fields;
}

std::string escapeBrainVisionField(const std::string& field) {
    std::string escaped;
    for (char character : field) {
        if (character == ',')
            escaped += "\\1";
        else
            escaped += character;
    }
    return escaped;
}

bool parseBrainVisionInteger(const std::string& text, int64_t& value) {
    const std::string trimmed = trimmedText(text);
    const char* const end = trimmed.data() + trimmed.size();
    const std::from_chars_result result =
        std::from_chars(trimmed.data() + (!trimmed.empty() && trimmed[0] == '+'), end, value);
    return !trimmed.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parseBrainVisionNumber(const std::string& text, double& value) {
    const std::string trimmed = trimmedText(text);
    const char* const end = trimmed.data() + trimmed.size();
    const std::from_chars_result result =
        std::from_chars(trimmed.data() + (!trimmed.empty() && trimmed[0] == '+'), end, value);
    return !trimmed.empty() && result.ec == std::errc() && result.ptr == end &&
           std::isfinite(value);
}

bool splitBrainVisionFile(const std::string& bytes, const std::string& path,
                          const std::string& kind, BrainVisionText& text, std::string& error) {
    if (!splitLines(bytes, text, error)) {
        error = path + ": " + error;
        return false;
    }
    if (isIdentification(text.firstLine, kind)) return true;
    error = path + ": line 1: expected \"Brain Vision Data Exchange " + kind +
            (kind == "Marker" ? " File, Version 1.0" : " File Version 1.0") +
            "\" (or 2.0), not \"" + text.firstLine.substr(0, 60) + "\"";
    return false;
}
