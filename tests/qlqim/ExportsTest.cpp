// Each shared build and the dispatcher export exactly the seven entry points:
// the defined global symbols of the dynamic symbol table, read from the file.
#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::set<std::string> definedDynamicSymbols(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr))
        return names;
    Elf64_Ehdr header;
    std::memcpy(&header, file.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    auto section = [&](size_t i) {
        Elf64_Shdr s;
        std::memcpy(&s, file.data() + header.e_shoff + i * header.e_shentsize, sizeof s);
        return s;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM)
            continue;
        Elf64_Shdr strings = section(symbols.sh_link);
        for (size_t k = 1; k < symbols.sh_size / sizeof(Elf64_Sym); ++k) {
            Elf64_Sym sym;
            std::memcpy(&sym, file.data() + symbols.sh_offset + k * sizeof sym, sizeof sym);
            int binding = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK))
                continue;
            names.insert(file.data() + strings.sh_offset + sym.st_name);
        }
    }
    return names;
}

TEST(QlqimExports, EveryLibraryExportsExactlyTheSevenEntryPoints)
{
    const std::set<std::string> seven = {"qimCreateImageHeader", "qimAllocateImage",
                                         "qimDeallocate",        "qimResize",
                                         "qimGetErrStatus",      "qimSetErrMode",
                                         "qimErrorStr"};
    for (const char* name : {"", "PX", "W7", "A6", "P6", "M6"}) {
        std::string path = std::string(QLQIM_LIBRARY_DIR) + "/libqlqim" + name + ".so";
        EXPECT_EQ(definedDynamicSymbols(path), seven) << path;
    }
}

} // namespace
