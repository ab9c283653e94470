// The stand-in's COM core, streams, GUID texts and shell helpers.

#include "ComStream.h"
#include "ShellUtil.h"
#include "WideString.h"
#include "WinModule.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

TEST(ShellFormat, FormatsTheHandlersTexts) {
    WCHAR text[64];
    EXPECT_EQ(10, wsprintfW(text, u"QG%d %s", 3, u"Raster"));
    EXPECT_EQ(std::u16string(u"QG3 Raster"), text);
    wsprintfW(text, u"%.1d:1", 20);
    EXPECT_EQ(std::u16string(u"20:1"), text);
    wsprintfW(text, u"%.1d:1", 0);
    EXPECT_EQ(std::u16string(u"0:1"), text) << "precision 1 keeps one digit for zero";
    wsprintfW(text, u"%.1d:1", -1);
    EXPECT_EQ(std::u16string(u"-1:1"), text);
    wsprintfW(text, u"%d|%u|%x|%X|%05d|%-4d|%%|%c", -2147483647 - 1, 4294967295u, 255, 255, 42, 7,
              'Z');
    EXPECT_EQ(std::u16string(u"-2147483648|4294967295|ff|FF|00042|7   |%|Z"), text);
}

TEST(ShellPath, RemoveFileSpecAndAppend) {
    WCHAR path[MAX_PATH] = u"/opt/quarn/lib/QuarnShellExtensionVista.so";
    ASSERT_TRUE(PathRemoveFileSpecW(path));
    EXPECT_EQ(std::u16string(u"/opt/quarn/lib"), path);
    ASSERT_TRUE(PathAppendW(path, u"QuarnShellExtensionVista.propdesc"));
    EXPECT_EQ(std::u16string(u"/opt/quarn/lib/QuarnShellExtensionVista.propdesc"), path);

    WCHAR root[MAX_PATH] = u"/file";
    ASSERT_TRUE(PathRemoveFileSpecW(root));
    EXPECT_EQ(std::u16string(u"/"), root);
    ASSERT_TRUE(PathAppendW(root, u"/x"));
    EXPECT_EQ(std::u16string(u"/x"), root);

    // A result longer than MAX_PATH is refused and leaves the path as it was.
    WCHAR longPath[MAX_PATH] = u"/a";
    std::u16string tail(MAX_PATH, u'b');
    EXPECT_FALSE(PathAppendW(longPath, tail.c_str()));
    EXPECT_EQ(std::u16string(u"/a"), longPath);
}

TEST(Guid, TextRoundTripAndRejects) {
    const GUID guid = {
        0x73A656D0, 0x53D4, 0x4D78, {0xB9, 0xAA, 0x92, 0xC4, 0xA6, 0x4F, 0x41, 0x22}};
    WCHAR text[39];
    ASSERT_EQ(39, StringFromGUID2(guid, text, 39));
    EXPECT_EQ(std::u16string(u"{73A656D0-53D4-4D78-B9AA-92C4A64F4122}"), text);
    GUID back{};
    ASSERT_EQ(S_OK, CLSIDFromString(u"{73a656d0-53d4-4d78-b9aa-92c4a64f4122}", &back));
    EXPECT_TRUE(back == guid);
    EXPECT_EQ(0, StringFromGUID2(guid, text, 38));
    for (LPCWSTR bad :
         {u"", u"{73A656D0-53D4-4D78-B9AA-92C4A64F412}", u"{73A656D0-53D4-4D78-B9AA-92C4A64F41223}",
          u"{73A656D0+53D4-4D78-B9AA-92C4A64F4122}", u"{73A656D0-53D4-4D78-B9AA-92C4A64F412G}"})
        EXPECT_EQ(E_INVALIDARG, CLSIDFromString(bad, &back));
}

TEST(Streams, MemoryStreamReadsSeeksAndRefusesWrites) {
    const BYTE bytes[] = {1, 2, 3, 4, 5};
    IStream* stream = SHCreateMemStream(bytes, sizeof bytes);
    ASSERT_NE(nullptr, stream);
    BYTE buffer[8] = {};
    ULONG read = 0;
    EXPECT_EQ(S_OK, stream->Read(buffer, 3, &read));
    EXPECT_EQ(3u, read);
    EXPECT_EQ(S_OK, stream->Read(buffer, 8, &read));
    EXPECT_EQ(2u, read) << "a short read is no failure";
    EXPECT_EQ(4, buffer[0]);
    ULARGE_INTEGER position{};
    LARGE_INTEGER move{};
    move.QuadPart = -1;
    EXPECT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_END, &position));
    EXPECT_EQ(4u, position.QuadPart);
    move.QuadPart = -5;
    EXPECT_NE(S_OK, stream->Seek(move, STREAM_SEEK_CUR, &position)) << "before the start";
    move.QuadPart = 100;
    EXPECT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_SET, &position));
    EXPECT_EQ(S_OK, stream->Read(buffer, 8, &read));
    EXPECT_EQ(0u, read);
    ULONG written = 9;
    EXPECT_TRUE(FAILED(stream->Write(bytes, 1, &written)));
    EXPECT_EQ(0u, written);
    IStream* same = nullptr;
    ASSERT_EQ(S_OK, stream->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&same)));
    EXPECT_EQ(1u, same->Release());
    EXPECT_EQ(0u, stream->Release());
}

TEST(Streams, FileStreamIsReadOnlyAndReportsMissingFiles) {
    std::string path = ::testing::TempDir() + "quarn-file-stream.bin";
    std::ofstream(path, std::ios::binary) << "qrnd\x03";
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK,
              SHCreateStreamOnFileW(quarn_platform::toUtf16(path).c_str(), STGM_READ, &stream));
    STATSTG stat{};
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(5u, stat.cbSize.QuadPart);
    BYTE buffer[16] = {};
    ULONG read = 0;
    EXPECT_EQ(S_OK, stream->Read(buffer, 16, &read));
    EXPECT_EQ(5u, read);
    EXPECT_EQ('d', buffer[3]);
    stream->Release();
    std::remove(path.c_str());

    stream = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              SHCreateStreamOnFileW(u"/nonexistent/quarn", STGM_READ, &stream));
    EXPECT_EQ(nullptr, stream);
}

TEST(ModuleFileName, TruncatesWithTheBufferError) {
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(n, 4u);
    WCHAR small[4];
    EXPECT_EQ(4u, GetModuleFileNameW(nullptr, small, 4));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0, small[3]);
    EXPECT_EQ(std::u16string(path, 3), small);
}

TEST(Utf16, ConversionRoundTripsAndReplacesBrokenSequences) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    std::u16string wide = quarn_platform::toUtf16(text);
    EXPECT_EQ(std::u16string(u"a\u00E9\u20AC\U0001F600"), wide);
    EXPECT_EQ(text, quarn_platform::toUtf8(wide));
    EXPECT_EQ(std::u16string(u"\uFFFDx"), quarn_platform::toUtf16("\xC0x"));
    EXPECT_EQ(std::u16string(u"\uFFFD"), quarn_platform::toUtf16("\xE2\x82"));
    EXPECT_EQ("\xEF\xBF\xBD", quarn_platform::toUtf8(std::u16string(1, char16_t(0xD800))));
    EXPECT_EQ(0, lstrcmpiW(u"InprocServer32", u"INPROCSERVER32"));
}

} // namespace
