// The resources of the built unload.exe, read as data: every value of the
// dialog template, the string, the icon group and the version resource, all
// in Chinese (Simplified, PRC).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "log_directory.h"
#include "pinwheel_sandbox.h"

namespace {

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

class UnloadResourcesTest : public ::testing::Test {
protected:
    UnloadResourcesTest()
        : m_path(BuildDirectory() + L"\\unload.exe"),
          m_image(LoadLibraryExW(m_path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~UnloadResourcesTest() override { FreeLibrary(m_image); }

    // The bytes of one resource in language 0x0804; empty when absent.
    std::vector<BYTE> Resource(const wchar_t* type, WORD id) const
    {
        HRSRC found = FindResourceExW(m_image, type, MAKEINTRESOURCEW(id), kChinese);
        if (found == nullptr) {
            return {};
        }
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(m_image, found)));
        return std::vector<BYTE>(data, data + SizeofResource(m_image, found));
    }

    std::wstring m_path;
    HMODULE m_image;
};

// Reads a template's fields in order.
struct Reader {
    const BYTE* p;
    WORD Word()
    {
        WORD v;
        memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    DWORD Dword()
    {
        DWORD v;
        memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    BYTE Byte() { return *p++; }
    std::wstring Text()
    {
        std::wstring text;
        for (WORD unit = Word(); unit != 0; unit = Word()) text += static_cast<wchar_t>(unit);
        return text;
    }
};

TEST_F(UnloadResourcesTest, IsAWindowedProgram)
{
    ASSERT_NE(nullptr, m_image);
    std::string file = ReadFileBytes(m_path);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(file.data() + dos->e_lfanew);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
}

TEST_F(UnloadResourcesTest, DialogTemplate102)
{
    std::vector<BYTE> data = Resource(MAKEINTRESOURCEW(5) /* RT_DIALOG */, 102);
    ASSERT_FALSE(data.empty());
    Reader r{data.data()};
    EXPECT_EQ(1, r.Word());  // extended template
    EXPECT_EQ(0xFFFF, r.Word());
    EXPECT_EQ(0u, r.Dword());           // help ID
    EXPECT_EQ(0x40000u, r.Dword());     // WS_EX_APPWINDOW
    EXPECT_EQ(0x90C800C0u, r.Dword());  // popup, visible, caption, system menu, modal frame, font
    EXPECT_EQ(0, r.Word());             // no controls
    EXPECT_EQ(0, static_cast<short>(r.Word()));
    EXPECT_EQ(0, static_cast<short>(r.Word()));
    EXPECT_EQ(347, static_cast<short>(r.Word()));
    EXPECT_EQ(201, static_cast<short>(r.Word()));
    EXPECT_EQ(0, r.Word());  // no menu
    EXPECT_EQ(0, r.Word());  // the standard dialog class
    EXPECT_EQ(L"unload", r.Text());
    EXPECT_EQ(9, r.Word());                // points
    EXPECT_EQ(0, r.Word());                // weight
    EXPECT_EQ(0, r.Byte());                // not italic
    EXPECT_EQ(1, r.Byte());                // DEFAULT_CHARSET
    EXPECT_EQ(L"\u5B8B\u4F53", r.Text());  // 宋体
}

TEST_F(UnloadResourcesTest, String101)
{
    // Strings live in blocks of sixteen: block 101 / 16 + 1, entry 101 % 16.
    std::vector<BYTE> data = Resource(MAKEINTRESOURCEW(6) /* RT_STRING */, 101 / 16 + 1);
    ASSERT_FALSE(data.empty());
    Reader r{data.data()};
    std::wstring text;
    for (int i = 0; i <= 101 % 16; ++i) {
        WORD length = r.Word();
        text.assign(reinterpret_cast<const wchar_t*>(r.p), length);
        r.p += length * 2;
    }
    EXPECT_EQ(L"\u5173\u4E8E unload(&A)...", text);  // 关于 unload(&A)...
}

TEST_F(UnloadResourcesTest, IconGroup128HasEight32BitImages)
{
    std::vector<BYTE> group = Resource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, 128);
    ASSERT_FALSE(group.empty());
    Reader r{group.data()};
    EXPECT_EQ(0, r.Word());
    EXPECT_EQ(1, r.Word());  // icons
    ASSERT_EQ(8, r.Word());
    const int sizes[] = {16, 24, 32, 48, 64, 72, 96, 128};
    for (int size : sizes) {
        EXPECT_EQ(size, r.Byte());
        EXPECT_EQ(size, r.Byte());
        EXPECT_EQ(0, r.Byte());  // no palette
        r.Byte();
        EXPECT_EQ(1, r.Word());   // planes
        EXPECT_EQ(32, r.Word());  // bits per pixel
        const DWORD bytes = r.Dword();
        const WORD id = r.Word();
        std::vector<BYTE> image = Resource(MAKEINTRESOURCEW(3) /* RT_ICON */, id);
        ASSERT_EQ(bytes, image.size()) << size;
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof(header));
        EXPECT_EQ(size, header.biWidth);
        EXPECT_EQ(2 * size, header.biHeight);
        EXPECT_EQ(32, header.biBitCount);
    }
    // Windows can make an icon of it.
    HICON icon =
        static_cast<HICON>(LoadImageW(m_image, MAKEINTRESOURCEW(128), IMAGE_ICON, 48, 48, 0));
    EXPECT_NE(nullptr, icon);
    DestroyIcon(icon);
}

TEST_F(UnloadResourcesTest, VersionResource)
{
    std::vector<BYTE> data = Resource(MAKEINTRESOURCEW(16) /* RT_VERSION */, 1);
    ASSERT_FALSE(data.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwProductVersionLS);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0804, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } strings[] = {
        {L"CompanyName", L""},
        {L"FileDescription", L"unload Microsoft \u57FA\u7840\u7C7B\u5E94\u7528\u7A0B\u5E8F"},
        {L"FileVersion", L"1, 0, 0, 1"},
        {L"InternalName", L"unload"},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L"unload.EXE"},
        {L"ProductName", L"unload \u5E94\u7528\u7A0B\u5E8F"},
        {L"ProductVersion", L"1, 0, 0, 1"},
    };
    for (const auto& s : strings) {
        wchar_t* value = nullptr;
        length = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + s.key;
        ASSERT_TRUE(
            VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            << path.size();
        EXPECT_EQ(std::wstring(s.value), std::wstring(value)) << path.size();
    }
}

}  // namespace
