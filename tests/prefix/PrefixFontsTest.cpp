// The prefix that the tests and the demo share (scripts/wine-env): the faces
// the programs and Wine's own window drawing ask for resolve to fonts that
// have the glyphs they need.
#include <string>

#include "Text.h"
#include "gtest/gtest.h"

namespace {
// The family of the font file drawn with (not the substitute's name, which
// GetTextFace repeats), and whether it has both "あ" and the half-width "ｱ".
struct Resolved {
    std::string face;
    bool kana = false;
};

Resolved Resolve(LOGFONTA lf)
{
    Resolved r;
    HDC hDC = ::GetDC(nullptr);
    HFONT hFont = ::CreateFontIndirectA(&lf);
    HGDIOBJ hOld = ::SelectObject(hDC, hFont);
    UINT cb = ::GetOutlineTextMetricsA(hDC, 0, nullptr);
    if (cb) {
        std::string buf(cb, '\0');
        auto* otm = reinterpret_cast<OUTLINETEXTMETRICA*>(&buf[0]);
        if (::GetOutlineTextMetricsA(hDC, cb, otm))
            r.face = &buf[reinterpret_cast<size_t>(otm->otmpFamilyName)];
    }
    WORD glyphs[2] = {0xffff, 0xffff};
    r.kana = ::GetGlyphIndicesW(hDC, L"\x3042\xff71", 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == 2 &&
             glyphs[0] != 0xffff && glyphs[1] != 0xffff;
    ::SelectObject(hDC, hOld);
    ::DeleteObject(hFont);
    ::ReleaseDC(nullptr, hDC);
    return r;
}

LOGFONTA Face(const std::string& name, BYTE charSet = DEFAULT_CHARSET)
{
    LOGFONTA lf{};
    lf.lfHeight = -12;
    lf.lfCharSet = charSet;
    lstrcpynA(lf.lfFaceName, name.c_str(), LF_FACESIZE);
    return lf;
}
}  // namespace

// Wine draws the caption buttons with Marlett's symbols; without the font
// they come out as "0", "1" and "r" in whatever face stands in.
TEST(PrefixFonts, MarlettIsThereForTheCaptionButtons)
{
    EXPECT_EQ(Resolve(Face("Marlett", SYMBOL_CHARSET)).face, "Marlett");
}

TEST(PrefixFonts, JapaneseFacesOfTheDialogsAndOfTheSystemAreTheIpaFonts)
{
    struct {
        std::string asked, expected;
    } dialogs[] = {
        // The programs' dialog templates; the families by their Japanese names.
        {tst::Cp932("ＭＳ Ｐゴシック"), tst::Cp932("IPA Pゴシック")},
        {"MS Shell Dlg", tst::Cp932("IPAゴシック")},
        {"MS UI Gothic", tst::Cp932("IPA Pゴシック")},
    };
    for (const auto& d : dialogs) {
        Resolved r = Resolve(Face(d.asked));
        EXPECT_EQ(r.face, d.expected) << d.asked;
        EXPECT_TRUE(r.kana) << d.asked;
    }
    // Captions, menus and message boxes: the faces Wine picks for them must
    // show Japanese too.
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof(ncm);
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0));
    const LOGFONTA* system[] = {&ncm.lfCaptionFont, &ncm.lfSmCaptionFont, &ncm.lfMenuFont, &ncm.lfStatusFont,
                                &ncm.lfMessageFont};
    for (const LOGFONTA* lf : system) {
        Resolved r = Resolve(*lf);
        EXPECT_TRUE(r.kana) << lf->lfFaceName << " -> " << r.face;
    }
}
