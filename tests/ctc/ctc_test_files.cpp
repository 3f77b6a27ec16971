#include "tests/ctc/ctc_test_files.h"

#include <algorithm>
#include <cstring>

#include "ctc/ctc_format.h"

namespace ctc_test {

namespace {

void appendU32(Bytes& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back((value >> shift) & 0xFF);
}

void appendF32(Bytes& bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendU32(bytes, bits);
}

}  // namespace

Bytes headerBytes(const CtcFields& fields) {
    Bytes bytes;
    appendU32(bytes, 1);  // FileVersion
    appendU32(bytes, fields.compressionType);
    if (fields.compressionType != 0) {
        appendU32(bytes, static_cast<uint32_t>(fields.compressionParams.size()));
        for (uint32_t value : fields.compressionParams) appendU32(bytes, value);
    }
    appendU32(bytes, fields.dataType);
    appendU32(bytes, fields.ordering);
    appendU32(bytes, fields.channels);
    appendU32(bytes, fields.samples);
    appendF32(bytes, 1000.0f);  // SamplingFrequency
    if (ctc::isScaledDataType(fields.dataType)) {
        for (float value : fields.offsets) appendF32(bytes, value);
        for (float value : fields.scales) appendF32(bytes, value);
    }
    appendU32(bytes, static_cast<uint32_t>(fields.trials.size()));
    for (uint32_t value : fields.trials) appendU32(bytes, value);
    for (uint32_t value : fields.pre) appendU32(bytes, value);
    for (uint32_t value : fields.post) appendU32(bytes, value);
    return bytes;
}

CtcFields ctcFields(uint32_t dataType, uint32_t ordering, uint32_t channels, uint32_t samples) {
    CtcFields fields;
    fields.dataType = dataType;
    fields.ordering = ordering;
    fields.channels = channels;
    fields.samples = samples;
    for (uint32_t channel = 0; ctc::isScaledDataType(dataType) && channel < channels; ++channel) {
        fields.offsets.push_back(static_cast<float>(channel % 5) - 1.5f);
        fields.scales.push_back(channel % 2 == 0 ? 0.5f : 3.0f);
    }
    return fields;
}

Bytes fileBytes(const CtcFields& fields, uint64_t elementCount) {
    Bytes bytes = headerBytes(fields);
    Bytes data(elementCount * elementBytes(fields.dataType));
    for (uint64_t e = 0; e < elementCount; ++e) {
        const int value = static_cast<int>(e % 251) - 125;
        double stored = value * 0.25;
        if (fields.dataType == ctc::kDataTypeInt16) stored = value * 200.0;
        if (fields.dataType == ctc::kDataTypeInt8) stored = value;
        storeValue(data, fields.dataType, e, stored);
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

std::string writeCtcFile(const std::string& path, const CtcFields& fields) {
    writeFile(path, fileBytes(fields, uint64_t{fields.channels} * fields.samples));
    return path;
}

uint32_t elementBytes(uint32_t dataType) {
    return dataType == ctc::kDataTypeInt16 ? 2 : dataType == ctc::kDataTypeInt8 ? 1 : 4;
}

// Elements are copied as the host holds them: little-endian, as in the files.
double storedValue(const Bytes& data, uint32_t dataType, uint64_t index) {
    const uint8_t* element = data.data() + index * elementBytes(dataType);
    if (dataType == ctc::kDataTypeInt8) return static_cast<int8_t>(element[0]);
    if (dataType == ctc::kDataTypeInt16) {
        int16_t value;
        std::memcpy(&value, element, 2);
        return value;
    }
    float value;
    std::memcpy(&value, element, 4);
    return value;
}

void storeValue(Bytes& data, uint32_t dataType, uint64_t index, double stored) {
    uint8_t* element = data.data() + index * elementBytes(dataType);
    const int16_t int16 = dataType == ctc::kDataTypeInt16 ? static_cast<int16_t>(stored) : 0;
    const float value = static_cast<float>(stored);
    if (dataType == ctc::kDataTypeInt8)
        element[0] = static_cast<uint8_t>(static_cast<int8_t>(stored));
    if (dataType == ctc::kDataTypeInt16) std::memcpy(element, &int16, 2);
    if (dataType == ctc::kDataTypeFloat || dataType == ctc::kDataTypeScaledFloat) {
        std::memcpy(element, &value, 4);
    }
}

void writeFile(const std::string& path, const Bytes& bytes) {
    ::writeFile(path, std::string(bytes.begin(), bytes.end()));
}

Bytes readBytes(const std::string& path) {
    const std::string bytes = readFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

}  // namespace ctc_test
