// The shipping program's resources: texts, icons as drawn, version block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::wstring ShippingProgram()
{
    return TestBinDirectory() + L"\\NotiTrayClient.exe";
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

struct Pixel {
    BYTE r, g, b, a;
};

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(ShippingProgram().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE((HMODULE)NULL, module);
    }
    void TearDown() override { FreeLibrary(module); }

    const BYTE* Resource(LPCWSTR type, int id)
    {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        return found ? (const BYTE*)LockResource(LoadResource(module, found)) : NULL;
    }

    std::vector<GroupIconEntry> IconGroup(int id)
    {
        const GroupIconHeader* group = (const GroupIconHeader*)Resource(RT_GROUP_ICON, id);
        if (group == NULL)
            return {};
        return std::vector<GroupIconEntry>(group->entries, group->entries + group->count);
    }

    // The image's pixels, top row first.
    std::vector<Pixel> IconPixels(const GroupIconEntry& entry)
    {
        const BITMAPINFOHEADER* header = (const BITMAPINFOHEADER*)Resource(RT_ICON, entry.id);
        std::vector<Pixel> pixels;
        if (header == NULL || header->biBitCount != 32)
            return pixels;
        int size = header->biWidth;
        const BYTE* bits = (const BYTE*)header + header->biSize;
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++) {
                const BYTE* bgra = bits + ((size - 1 - y) * size + x) * 4;
                pixels.push_back({bgra[2], bgra[1], bgra[0], bgra[3]});
            }
        return pixels;
    }

    HMODULE module = NULL;
};

std::wstring ResourceText(HMODULE module, int id)
{
    WCHAR text[100] = L"";
    LoadStringW(module, id, text, 100);
    return text;
}

TEST_F(ProgramResources, WindowTitleAndClass)
{
    EXPECT_EQ(L"Mirrowave ", ResourceText(module, 103));
    EXPECT_EQ(L"NOTITRAY", ResourceText(module, 109));
}

// Colour classes of opaque pixels, loose enough for any smoothing.
bool Yellow(const Pixel& p) { return p.r > 200 && p.g > 150 && p.b < 90; }
bool Dark(const Pixel& p) { return p.r < 80 && p.g < 80 && p.b < 80; }
bool Red(const Pixel& p) { return p.r > 150 && p.g < 90 && p.b < 90; }
bool White(const Pixel& p) { return p.r > 225 && p.g > 225 && p.b > 225; }
bool Blue(const Pixel& p) { return p.b > 150 && p.r < 90 && p.g < 140; }
bool Pale(const Pixel& p) { return p.r > 200 && p.g > 200 && p.b > 230; }

struct IconCase {
    int id;
    std::vector<int> sizes;
    bool (*body)(const Pixel&);
    int bodyPercent;  // of all pixels, at least
    bool (*mark)(const Pixel&);
    int markPercent;
};

TEST_F(ProgramResources, SeverityIconsAsDrawn)
{
    const IconCase cases[] = {
        {129, {16}, Yellow, 12, Dark, 3},
        {130, {16}, Red, 25, White, 5},
        {131, {48, 32, 16}, Pale, 25, Blue, 3},
    };
    for (const IconCase& c : cases) {
        std::vector<GroupIconEntry> entries = IconGroup(c.id);
        ASSERT_EQ(c.sizes.size(), entries.size()) << c.id;
        for (size_t i = 0; i < entries.size(); i++) {
            SCOPED_TRACE("icon " + std::to_string(c.id) + " size " + std::to_string(c.sizes[i]));
            EXPECT_EQ(c.sizes[i], entries[i].width);
            EXPECT_EQ(32, entries[i].bitCount);
            std::vector<Pixel> pixels = IconPixels(entries[i]);
            ASSERT_EQ((size_t)(c.sizes[i] * c.sizes[i]), pixels.size());
            int body = 0, mark = 0;
            for (const Pixel& p : pixels) {
                body += p.a > 200 && c.body(p);
                mark += p.a > 200 && c.mark(p);
            }
            EXPECT_GE(body * 100, c.bodyPercent * (int)pixels.size());
            EXPECT_GE(mark * 100, c.markPercent * (int)pixels.size());
            EXPECT_EQ(0, pixels.front().a) << "transparent corner";
        }
    }
    EXPECT_FALSE(IconGroup(107).empty());
    EXPECT_FALSE(IconGroup(108).empty());
}

std::wstring VersionText(const std::vector<BYTE>& block, const wchar_t* name)
{
    void* value = NULL;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length))
        return L"";
    return (const wchar_t*)value;
}

TEST(ProgramVersion, NamesTheEventNotifierAtItsBuildNumber)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(ShippingProgram().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(ShippingProgram().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ((1540u << 16) | 2u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ((1540u << 16) | 2u, fixed->dwProductVersionLS);
    EXPECT_EQ(L"Arvexa Event Notifier", VersionText(block, L"FileDescription"));
    EXPECT_EQ(L"Arvexa Event Notifier", VersionText(block, L"ProductName"));
}

}  // namespace
