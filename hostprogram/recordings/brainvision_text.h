#pragma once

// The text layer shared by BrainVision header (.vhdr) and marker (.vmrk)
// files: an identification line, then [sections] of key=value lines. Real
// files come from many writers, so this layer takes what they differ in
// (a byte-order mark, CRLF or LF, comment lines starting with ';', section
// names in any case, trailing blanks, UTF-8 or Latin-1 text) and hands the
// parsers UTF-8 entries with the line each came from.

#include <cstdint>
#include <string>
#include <vector>

struct BrainVisionEntry {
    int line = 0;         // 1-based, for messages
    std::string section;  // lower case, without brackets: "common infos"
    std::string key;      // trimmed, as written: "Ch1", "DataFile"
    std::string value;    // UTF-8, trimmed
};

struct BrainVisionText {
    std::string firstLine;  // trimmed, without a byte-order mark
    std::vector<BrainVisionEntry> entries;
};

// Splits a file's bytes into its entries after checking its first line:
// "<Brain Vision|BrainVision> Data Exchange <kind> File[,] Version <1.0|2.0>",
// kind being "Header" or "Marker". The [Comment] section is free text and is
// skipped; in the sections the parsers read ([Common Infos], [Binary Infos],
// [Channel Infos], [Marker Infos]) a line that is neither blank, a comment
// nor key=value is refused. Values are decoded by the Codepage entry:
// Latin-1 (also "ANSI") turns every byte into its UTF-8 character; UTF-8 or
// no code page keeps a value that is valid UTF-8 and reads any other as
// Latin-1, since writers that declare UTF-8 have been seen to store a
// Latin-1 'µ'. False with error "<path>: line N: <why>".
bool splitBrainVisionFile(const std::string& bytes, const std::string& path,
                          const std::string& kind, BrainVisionText& text, std::string& error);

// The comma-separated fields of a channel or marker entry, with the "\1"
// that stands for a comma inside a field turned back into one.
std::vector<std::string> splitBrainVisionFields(const std::string& value);

// A field as a writer stores it: each comma coded as "\1".
std::string escapeBrainVisionField(const std::string& field);

// Whole-text number parsing; false when anything but the number is there.
bool parseBrainVisionInteger(const std::string& text, int64_t& value);
bool parseBrainVisionNumber(const std::string& text, double& value);

// ASCII lower case, for names compared without regard to case.
std::string brainVisionLowerCase(std::string text);
