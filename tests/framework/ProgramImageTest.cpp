// What the built programs carry for the system's loader: the application
// manifest (execution level, spelled so that Windows XP SP2 accepts it) and
// the import of the common controls library that registers the classes
// their dialogs use. The programs lie in the bin folder beside this test.
#include <string.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {
struct Program {
    const char* file;
    ACTCTX_REQUESTED_RUN_LEVEL runLevel;
};
const Program kPrograms[] = {{"VelraUpdate.exe", ACTCTX_RUN_LEVEL_REQUIRE_ADMIN},
                             {"VelraLumoLEDUtility.EXE", ACTCTX_RUN_LEVEL_AS_INVOKER}};

// The run level as the system's own manifest reader takes it from the
// program's manifest; ACTCTX_RUN_LEVEL_NUMBERS when it refuses the manifest.
DWORD RunLevelRead(const std::string& path)
{
    ACTCTXA ctx{};
    ctx.cbSize = sizeof(ctx);
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = path.c_str();
    ctx.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE h = CreateActCtxA(&ctx);
    if (h == INVALID_HANDLE_VALUE)
        return ACTCTX_RUN_LEVEL_NUMBERS;
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info{};
    SIZE_T cb = 0;
    if (!QueryActCtxW(0, h, nullptr, RunlevelInformationInActivationContext, &info, sizeof(info), &cb))
        info.RunLevel = ACTCTX_RUN_LEVEL_NUMBERS;
    ReleaseActCtx(h);
    return info.RunLevel;
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR lParam)
{
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

// The manifest resources' count and the text of type 24, id 1.
std::string ManifestOf(const std::string& path, int* pnManifests)
{
    HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!h)
        return "";
    *pnManifests = 0;
    EnumResourceNamesA(h, MAKEINTRESOURCEA(24), CountName, reinterpret_cast<LONG_PTR>(pnManifests));
    std::string text;
    if (HRSRC hRes = FindResourceA(h, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)))
        text.assign(static_cast<const char*>(LockResource(LoadResource(h, hRes))), SizeofResource(h, hRes));
    FreeLibrary(h);
    return text;
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(Manifest, EachProgramAsksForItsLevelWithOneNamespaceOnTrustInfo)
{
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.file);
        int nManifests = 0;
        std::string manifest = ManifestOf(tst::ShippedFile(program.file), &nManifests);
        ASSERT_FALSE(manifest.empty());
        EXPECT_EQ(nManifests, 1);
        EXPECT_EQ(CountOf(manifest, "<trustInfo"), 1u);
        size_t begin = manifest.find("<trustInfo");
        std::string tag = manifest.substr(begin, manifest.find('>', begin) - begin);
        EXPECT_EQ(CountOf(tag, "xmlns"), 1u) << tag;
        EXPECT_EQ(CountOf(tag, " xmlns=\"urn:schemas-microsoft-com:asm.v3\""), 1u) << tag;
        EXPECT_EQ(RunLevelRead(tst::ShippedFile(program.file)), DWORD(program.runLevel));
        // Classic common controls: no dependency, least of all on version 6.
        EXPECT_EQ(CountOf(manifest, "dependency"), 0u);
        EXPECT_EQ(CountOf(manifest, "Common-Controls"), 0u);
    }
}

TEST(CommonControls, BothProgramsImportTheirRegistration)
{
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.file);
        std::string file = tst::ReadBytes(tst::ShippedFile(program.file));
        bool bFound = false;
        for (const auto& import : tst::PeImage(file.data(), file.size(), false).Imports())
            if (_stricmp(import.dll.c_str(), "comctl32.dll") == 0 && import.function == "InitCommonControlsEx")
                bFound = true;
        EXPECT_TRUE(bFound);
    }
}
