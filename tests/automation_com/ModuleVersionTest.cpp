// The version record: read from the built library, and read safely from files that carry none or
// carry a broken one.

#include "driver/regsvr/ModuleVersion.h"
#include "tests/platform/TestEnvironment.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace orv::regsvr {
namespace {

const std::string kLibraryPath = std::filesystem::path(ORV_DRIVER_LIBRARY).lexically_normal().string();

TEST(ModuleVersion, TheLibraryNamesItselfWithItsFileVersionAndRegistersItself)
{
    std::string why;
    const std::optional<ModuleVersion> version = ReadModuleVersion(kLibraryPath, &why);
    ASSERT_TRUE(version) << why;
    EXPECT_EQ(version->FileDescription(), "OrvDeviceNetDriver Module");
    EXPECT_EQ(version->FileVersion(), "2.0.0.7");
    EXPECT_TRUE(version->SelfRegistering());
}

TEST(ModuleVersion, ParsesKeyValueLines)
{
    const ModuleVersion version = ModuleVersion::Parse("FileDescription=A = B\nno equals sign\n=empty key\nKey=\nLast=x");
    EXPECT_EQ(version.Entries(), (std::vector<std::pair<std::string, std::string>>{
                                     {"FileDescription", "A = B"}, {"Key", ""}, {"Last", "x"}}));
    EXPECT_EQ(version.Value("Key"), "");
    EXPECT_EQ(version.Value("key"), std::nullopt) << "keys keep their spelling";
    EXPECT_FALSE(version.SelfRegistering());
    EXPECT_EQ(version.FileVersion(), "");
}

TEST(ModuleVersion, FilesWithoutARecordSaySo)
{
    test::TempFolder folder;
    std::string why;
    EXPECT_FALSE(ReadModuleVersion(folder / "missing.so", &why));
    EXPECT_EQ(why, "cannot read " + (folder / "missing.so").string());

    test::WriteText(folder / "text.so", "just some text, long enough to hold an ELF header if it were one....\n");
    EXPECT_FALSE(ReadModuleVersion(folder / "text.so", &why));
    EXPECT_EQ(why, (folder / "text.so").string() + " is not a 64-bit little-endian ELF file");

    EXPECT_FALSE(ReadModuleVersion(ORV_PLATFORM_LIBRARY, &why));
    EXPECT_EQ(why, std::string(ORV_PLATFORM_LIBRARY) + " carries no version record");

    // The library cut short after its ELF header: the program headers are missing.
    const std::string whole = test::ReadText(kLibraryPath);
    ASSERT_GT(whole.size(), sizeof(Elf64_Ehdr) + 8);
    test::WriteText(folder / "cut.so", whole.substr(0, sizeof(Elf64_Ehdr) + 8));
    EXPECT_FALSE(ReadModuleVersion(folder / "cut.so", &why));
    EXPECT_EQ(why, (folder / "cut.so").string() + " is truncated");
}

// A minimal ELF file with one note segment holding `notes`.
std::string ElfWithNotes(const std::vector<std::uint8_t>& notes)
{
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_machine = EM_X86_64;
    header.e_version = EV_CURRENT;
    header.e_phoff = sizeof header;
    header.e_ehsize = sizeof header;
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = 1;
    Elf64_Phdr note{};
    note.p_type = PT_NOTE;
    note.p_offset = sizeof header + sizeof note;
    note.p_filesz = notes.size();
    note.p_align = 4;
    std::string file(reinterpret_cast<const char*>(&header), sizeof header);
    file.append(reinterpret_cast<const char*>(&note), sizeof note);
    file.append(notes.begin(), notes.end());
    return file;
}

void AppendWord(std::vector<std::uint8_t>& bytes, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    }
}

// One note: owner "ORV" (or `owner`), `type`, descriptor `text` padded to 4, with `declaredSize`.
std::vector<std::uint8_t> Note(std::string_view text, std::uint32_t declaredSize, std::uint32_t type = 1,
                               std::string_view owner = "ORV")
{
    std::vector<std::uint8_t> bytes;
    AppendWord(bytes, static_cast<std::uint32_t>(owner.size() + 1));
    AppendWord(bytes, declaredSize);
    AppendWord(bytes, type);
    bytes.insert(bytes.end(), owner.begin(), owner.end());
    bytes.push_back(0);
    while (bytes.size() % 4 != 0) {
        bytes.push_back(0);
    }
    bytes.insert(bytes.end(), text.begin(), text.end());
    while (bytes.size() % 4 != 0) {
        bytes.push_back(0);
    }
    return bytes;
}

TEST(ModuleVersion, FindsItsNoteAmongOthersAndStaysInsideTheSegment)
{
    test::TempFolder folder;
    std::string why;

    std::vector<std::uint8_t> notes = Note("GNU stuff", 9, 3, "GNU");
    const std::vector<std::uint8_t> wrongType = Note("FileVersion=9\n", 14, 2);
    const std::vector<std::uint8_t> ours = Note("FileVersion=1.2\nOLESelfRegister=\n", 33);
    notes.insert(notes.end(), wrongType.begin(), wrongType.end());
    notes.insert(notes.end(), ours.begin(), ours.end());
    test::WriteText(folder / "good.so", ElfWithNotes(notes));
    std::optional<ModuleVersion> version = ReadModuleVersion(folder / "good.so", &why);
    ASSERT_TRUE(version) << why;
    EXPECT_EQ(version->FileVersion(), "1.2");
    EXPECT_TRUE(version->SelfRegistering());

    // A descriptor without its NUL ends with the descriptor.
    test::WriteText(folder / "unterminated.so", ElfWithNotes(Note("FileVersion=3.4XYZ", 15)));
    version = ReadModuleVersion(folder / "unterminated.so", &why);
    ASSERT_TRUE(version) << why;
    EXPECT_EQ(version->FileVersion(), "3.4");

    // A descriptor size that runs past the segment (and one that would wrap) finds nothing.
    for (const std::uint32_t size : {64u, 0xFFFFFFF0u}) {
        test::WriteText(folder / "broken.so", ElfWithNotes(Note("FileVersion=5.6\n", size)));
        EXPECT_FALSE(ReadModuleVersion(folder / "broken.so", &why)) << size;
        EXPECT_EQ(why, (folder / "broken.so").string() + " carries no version record");
    }

    // A segment that claims more bytes than the file holds.
    std::string cut = ElfWithNotes(ours);
    cut.resize(cut.size() - 8);
    test::WriteText(folder / "short.so", cut);
    EXPECT_FALSE(ReadModuleVersion(folder / "short.so", &why));
    EXPECT_EQ(why, (folder / "short.so").string() + " is truncated");
}

} // namespace
} // namespace orv::regsvr
