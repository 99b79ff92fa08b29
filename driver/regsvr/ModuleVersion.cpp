#include "driver/regsvr/ModuleVersion.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace orv::regsvr {

namespace {

// Note segments larger than this are not ours to read.
constexpr std::uint64_t kMaxNoteSegment = 1 << 20;

void SetError(std::string* errorText, std::string text)
{
    if (errorText != nullptr) {
        *errorText = std::move(text);
    }
}

bool ReadAt(std::ifstream& in, std::uint64_t offset, void* destination, std::size_t size)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(destination), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// The descriptor of note (owner, type) in one note segment, or nullopt. Every field is checked
// against the segment's end before it is used.
std::optional<std::string> FindNote(const std::vector<char>& segment, std::uint64_t alignment)
{
    constexpr std::uint64_t kHeader = 12; // namesz, descsz, type
    const std::uint64_t end = segment.size();
    std::uint64_t at = 0;
    while (end - at >= kHeader) {
        std::uint32_t header[3];
        std::memcpy(header, segment.data() + at, sizeof header);
        const std::uint64_t nameSize = header[0];
        const std::uint64_t descSize = header[1];
        const std::uint64_t nameAt = at + kHeader;
        const std::uint64_t descAt = nameAt + AlignUp(nameSize, alignment);
        if (descAt > end || descSize > end - descAt) {
            return std::nullopt;
        }
        if (header[2] == kVersionNoteType && nameSize == sizeof kVersionNoteOwner &&
            std::memcmp(segment.data() + nameAt, kVersionNoteOwner, sizeof kVersionNoteOwner) == 0) {
            const char* text = segment.data() + descAt;
            // Up to the NUL, never past the descriptor.
            return std::string(text, strnlen(text, descSize));
        }
        at = descAt + AlignUp(descSize, alignment);
    }
    return std::nullopt;
}

} // namespace

ModuleVersion ModuleVersion::Parse(std::string_view text)
{
    ModuleVersion version;
    while (!text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        const std::string_view line = text.substr(0, lineEnd);
        text = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && equals > 0) {
            version.entries_.emplace_back(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
        }
    }
    return version;
}

std::optional<std::string> ModuleVersion::Value(std::string_view key) const
{
    for (const auto& [name, value] : entries_) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<ModuleVersion> ReadModuleVersion(const std::filesystem::path& file, std::string* errorText)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        SetError(errorText, "cannot read " + file.string());
        return std::nullopt;
    }
    Elf64_Ehdr header{};
    if (!ReadAt(in, 0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_phentsize != sizeof(Elf64_Phdr)) {
        SetError(errorText, file.string() + " is not a 64-bit little-endian ELF file");
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr program{};
        if (!ReadAt(in, header.e_phoff + std::uint64_t{i} * sizeof program, &program, sizeof program)) {
            SetError(errorText, file.string() + " is truncated");
            return std::nullopt;
        }
        if (program.p_type != PT_NOTE || program.p_filesz > kMaxNoteSegment) {
            continue;
        }
        std::vector<char> segment(program.p_filesz);
        if (!ReadAt(in, program.p_offset, segment.data(), segment.size())) {
            SetError(errorText, file.string() + " is truncated");
            return std::nullopt;
        }
        const std::uint64_t alignment = program.p_align == 8 ? 8 : 4;
        if (const std::optional<std::string> text = FindNote(segment, alignment)) {
            return ModuleVersion::Parse(*text);
        }
    }
    SetError(errorText, file.string() + " carries no version record");
    return std::nullopt;
}

} // namespace orv::regsvr
