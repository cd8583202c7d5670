// The linked resources read back as data: dialog templates, menu, icon group and version block.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/win32/meter_dialog_fixture.h"
// The project's version as the resource script sees it (generated into the build's res folder).
#include "version.h"

namespace {

const WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Resource Find(LPCSTR type, WORD id)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), ENGLISH_US);
    if (!found) return {};
    return {static_cast<const BYTE*>(LockResource(LoadResource(module, found))),
            SizeofResource(module, found)};
}

// Reads the pieces of a dialog template in order.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* p) : start_(p), p_(p) {}

    template <typename T>
    T Get()
    {
        T v;
        std::memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return v;
    }

    // A string or an ordinal; an ordinal of a predefined class becomes its name, others "#n".
    std::string SzOrOrd()
    {
        WORD first = Get<WORD>();
        if (first == 0xFFFF) {
            WORD ord = Get<WORD>();
            static const char* const classes[] = {"BUTTON", "EDIT", "STATIC",
                                                  "LISTBOX", "SCROLLBAR", "COMBOBOX"};
            if (ord >= 0x80 && ord <= 0x85) return classes[ord - 0x80];
            return "#" + std::to_string(ord);
        }
        std::string s;
        for (WORD c = first; c != 0; c = Get<WORD>()) s += char(c);  // our texts are ASCII
        return s;
    }

    void AlignDword()
    {
        while ((p_ - start_) % 4) ++p_;
    }

    void Skip(size_t n) { p_ += n; }

private:
    const BYTE* start_;
    const BYTE* p_;
};

// Class names compare without case, as Windows looks them up: windres writes every class name
// given as a string in capitals, "MSCTLS_TRACKBAR32" for the slider.
struct Item {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    int id;
    std::string cls;
    std::string text;

    bool operator==(const Item& o) const
    {
        return style == o.style && exStyle == o.exStyle && x == o.x && y == o.y && cx == o.cx &&
               cy == o.cy && id == o.id && lstrcmpiA(cls.c_str(), o.cls.c_str()) == 0 &&
               text == o.text;
    }
};

std::ostream& operator<<(std::ostream& os, const Item& i)
{
    return os << "{style 0x" << std::hex << i.style << " ex 0x" << i.exStyle << std::dec << " "
              << i.x << "," << i.y << "," << i.cx << "," << i.cy << " id " << i.id << " "
              << i.cls << " \"" << i.text << "\"}";
}

struct Dialog {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, cls, caption;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::string font;
    std::vector<Item> items;
};

Dialog ParseDialog(const BYTE* data)
{
    Dialog d;
    TemplateReader r(data);
    WORD count;
    d.extended = reinterpret_cast<const WORD*>(data)[1] == 0xFFFF;
    if (d.extended) {
        r.Skip(4 + 4);  // version, signature, help id
        d.exStyle = r.Get<DWORD>();
        d.style = r.Get<DWORD>();
    } else {
        d.style = r.Get<DWORD>();
        d.exStyle = r.Get<DWORD>();
    }
    count = r.Get<WORD>();
    d.x = r.Get<short>();
    d.y = r.Get<short>();
    d.cx = r.Get<short>();
    d.cy = r.Get<short>();
    d.menu = r.SzOrOrd();
    d.cls = r.SzOrOrd();
    d.caption = r.SzOrOrd();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.Get<WORD>();
        if (d.extended) {
            d.weight = r.Get<WORD>();
            d.italic = r.Get<BYTE>();
            d.charset = r.Get<BYTE>();
        }
        d.font = r.SzOrOrd();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        Item item;
        if (d.extended) {
            r.Skip(4);  // help id
            item.exStyle = r.Get<DWORD>();
            item.style = r.Get<DWORD>();
        } else {
            item.style = r.Get<DWORD>();
            item.exStyle = r.Get<DWORD>();
        }
        item.x = r.Get<short>();
        item.y = r.Get<short>();
        item.cx = r.Get<short>();
        item.cy = r.Get<short>();
        item.id = d.extended ? int(r.Get<DWORD>()) : short(r.Get<WORD>());
        item.cls = r.SzOrOrd();
        item.text = r.SzOrOrd();
        r.Skip(r.Get<WORD>());  // creation data
        d.items.push_back(item);
    }
    return d;
}

const DWORD CHILD = WS_CHILD | WS_VISIBLE;

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR langs)
{
    reinterpret_cast<std::set<WORD>*>(langs)->insert(lang);
    return TRUE;
}

TEST(Resources, AreAllInEnglishUS)
{
    const struct {
        LPCSTR type;
        WORD id;
    } cases[] = {{RT_DIALOG, IDD_METER}, {RT_DIALOG, IDD_ABOUT}, {RT_MENU, IDR_POPUP},
                 {RT_GROUP_ICON, IDI_APP}, {RT_ICON, 1}, {RT_ICON, 2}, {RT_ICON, 3},
                 {RT_ICON, 4}, {RT_ICON, 5}, {RT_ICON, 6}, {RT_ICON, 7}, {RT_VERSION, 1},
                 {RT_MANIFEST, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << reinterpret_cast<uintptr_t>(c.type)
                                        << " id " << c.id);
        std::set<WORD> langs;
        EnumResourceLanguagesA(GetModuleHandleA(nullptr), c.type, MAKEINTRESOURCEA(c.id),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&langs));
        EXPECT_EQ(langs, std::set<WORD>{ENGLISH_US});
    }
}

// The first-start hint: a balloon's title holds 63 characters, its text 255 (ANSI).
TEST(Resources, TheFirstStartHintsTextsLoadAndFitABalloon)
{
    const struct {
        UINT id;
        const char* text;
        size_t room;
    } cases[] = {
        {IDS_HINT_TITLE, "Cyclowisp is running", 64},
        {IDS_HINT_TEXT,
         "The graph is in the notification area. To keep it on the taskbar, drag its three icons out of the ^ "
         "flyout, or switch them on under Settings > Personalization > Taskbar > Other system tray icons.",
         256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        char text[512] = "";
        const int length = LoadStringA(GetModuleHandleA(nullptr), c.id, text, sizeof text);
        EXPECT_EQ(std::string(text), c.text);
        EXPECT_LT(static_cast<size_t>(length), c.room);
        std::set<WORD> langs;
        // Strings are stored in blocks of 16: block id / 16 + 1.
        EnumResourceLanguagesA(GetModuleHandleA(nullptr), RT_STRING, MAKEINTRESOURCEA(c.id / 16 + 1),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&langs));
        EXPECT_EQ(langs, std::set<WORD>{ENGLISH_US});
    }
}

TEST(Resources, MeterDialogIsAClassicTemplateAsLaidOut)
{
    const Resource res = Find(RT_DIALOG, IDD_METER);
    ASSERT_NE(res.data, nullptr);
    const Dialog d = ParseDialog(res.data);

    EXPECT_FALSE(d.extended);
    EXPECT_EQ(d.style, DWORD(WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT |
                             DS_MODALFRAME | DS_SETFOREGROUND | DS_CENTER))
        << std::hex << d.style;
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ((std::vector<short>{d.x, d.y, d.cx, d.cy}), (std::vector<short>{0, 0, 167, 58}));
    EXPECT_EQ(d.menu, "");
    EXPECT_EQ(d.cls, "");
    EXPECT_EQ(d.caption, "Cyclowisp");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, "MS Sans Serif");

    const DWORD button = CHILD | WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD label = CHILD | WS_GROUP | SS_LEFT;
    const std::vector<Item> expected = {
        {button, 0, 112, 22, 50, 14, IDC_HIDE, "BUTTON", "&Hide"},
        {label, 0, 39, 13, 21, 8, -1, "STATIC", "Delay:"},
        {CHILD | ES_READONLY | ES_AUTOHSCROLL, 0, 61, 13, 15, 12, IDC_DELAYTEXT, "EDIT", ""},
        {CHILD | SS_ICON | WS_DISABLED, 0, 6, 4, 18, 20, -1, "STATIC", "#102"},
        {button, 0, 112, 6, 50, 14, IDCANCEL, "BUTTON", "E&xit"},
        {CHILD | WS_TABSTOP | TBS_AUTOTICKS | TBS_HORZ, 0, 5, 31, 100, 15, IDC_DELAY,
         "msctls_trackbar32", "Slider1"},
        {label, 0, 77, 13, 29, 8, -1, "STATIC", "Seconds"},
        {button, 0, 112, 38, 50, 14, IDC_SETDEFAULT, "BUTTON", "&Set Default"},
    };
    EXPECT_EQ(d.items, expected);
}

// A second start knows the running meter's dialog by its caption, which it takes from the string
// table: both must say the same.
TEST(Resources, TheMeterDialogsCaptionIsInTheStringTableToo)
{
    const Resource res = Find(RT_DIALOG, IDD_METER);
    ASSERT_NE(res.data, nullptr);
    char text[64] = "";
    EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_METER_CAPTION, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), ParseDialog(res.data).caption);
}

TEST(Resources, AboutBoxIsAnExtendedTemplateAsLaidOut)
{
    const Resource res = Find(RT_DIALOG, IDD_ABOUT);
    ASSERT_NE(res.data, nullptr);
    const Dialog d = ParseDialog(res.data);

    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_CAPTION | DS_SETFONT | DS_MODALFRAME))
        << std::hex << d.style;
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ((std::vector<short>{d.x, d.y, d.cx, d.cy}), (std::vector<short>{0, 0, 239, 58}));
    EXPECT_EQ(d.caption, "About Cyclowisp");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.weight, 0);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, 1);
    EXPECT_EQ(d.font, "MS Sans Serif");

    const DWORD label = CHILD | WS_GROUP | SS_LEFT;
    const std::vector<Item> expected = {
        {CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 193, 37, 39, 14, IDOK, "BUTTON", "&OK"},
        {CHILD | SS_ICON | WS_DISABLED, WS_EX_TRANSPARENT, 7, 7, 21, 20, -1, "STATIC", "#102"},
        {label, 0, 37, 14, 94, 8, -1, "STATIC", "Cyclowisp Version " CYCLOWISP_VERSION_TEXT},
        {label, 0, 37, 23, 106, 8, -1, "STATIC", "(C) 2026 The Cyclowisp authors"},
        {label, 0, 37, 35, 137, 8, -1, "STATIC", "Contact: see the README file"},
    };
    EXPECT_EQ(d.items, expected);
}

TEST(Resources, BothDialogsCreateTheirControls)
{
    WNDCLASSA trackbar;
    ASSERT_TRUE(GetClassInfoA(nullptr, TRACKBAR_CLASSA, &trackbar))
        << "the trackbar class is not registered, so the meter dialog cannot be created";

    HWND meter = CreateMeterDialog();
    ASSERT_NE(meter, nullptr) << "error " << GetLastError();
    char cls[64] = "";
    GetClassNameA(GetDlgItem(meter, IDC_DELAY), cls, sizeof cls);
    EXPECT_STREQ(cls, "msctls_trackbar32");
    GetClassNameA(GetDlgItem(meter, IDC_DELAYTEXT), cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "Edit");
    EXPECT_EQ(GetWindowLongA(meter, GWL_STYLE) & WS_POPUP, 0);

    HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT),
                                    nullptr, CountingDlgProc, 0);
    ASSERT_NE(about, nullptr) << "error " << GetLastError();

    // The icon controls found the application icon.
    for (HWND dlg : {meter, about}) {
        HWND icon = FindWindowExA(dlg, nullptr, "Static", nullptr);
        while (icon && !(GetWindowLongA(icon, GWL_STYLE) & SS_ICON)) {
            icon = FindWindowExA(dlg, icon, "Static", nullptr);
        }
        ASSERT_NE(icon, nullptr);
        EXPECT_NE(SendMessageA(icon, STM_GETICON, 0, 0), 0);
    }
    DestroyWindow(about);
    DestroyWindow(meter);
}

// A static text as it shows: "&&" is one '&', a single '&' only underlines the next character.
std::string ShownText(const std::string& text, DWORD style)
{
    if (style & SS_NOPREFIX) return text;
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

struct Label {
    std::string text;
    int width;      // of the text in the control's font, pixels
    int room;       // the control's client width, pixels
};

BOOL CALLBACK CollectLabel(HWND control, LPARAM labels)
{
    char cls[16] = "", text[128] = "";
    GetClassNameA(control, cls, sizeof cls);
    const DWORD style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(cls, "Static") != 0 || (style & SS_TYPEMASK) == SS_ICON) return TRUE;
    GetWindowTextA(control, text, sizeof text);
    const std::string shown = ShownText(text, style);
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    reinterpret_cast<std::vector<Label>*>(labels)->push_back({shown, extent.cx, client.right});
    return TRUE;
}

TEST(Resources, MnemonicsAreNotMeasured)
{
    const struct {
        const char* text;
        DWORD style;
        const char* shown;
    } cases[] = {{"&Hide", SS_LEFT, "Hide"}, {"A && B", SS_LEFT, "A & B"}, {"E&xit&", SS_LEFT, "Exit"},
                 {"A & B", SS_LEFT | SS_NOPREFIX, "A & B"}};
    for (const auto& c : cases) EXPECT_EQ(ShownText(c.text, c.style), c.shown) << c.text;
}

// A text wider than its one-line control wraps or is cut: the About box would show "Cyclowisp
// Version" without the version. Measured with the font the dialog gives its controls.
TEST(Resources, EveryStaticTextFitsItsControl)
{
    for (WORD id : {IDD_METER, IDD_ABOUT}) {
        SCOPED_TRACE(id);
        HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                      CountingDlgProc, 0);
        ASSERT_NE(dlg, nullptr) << "error " << GetLastError();
        std::vector<Label> labels;
        EnumChildWindows(dlg, CollectLabel, reinterpret_cast<LPARAM>(&labels));
        EXPECT_EQ(labels.size(), id == IDD_METER ? 2u : 3u);
        for (const Label& label : labels) {
            EXPECT_GT(label.width, 0) << "\"" << label.text << "\" not measured";
            EXPECT_LE(label.width, label.room)
                << "\"" << label.text << "\" is " << label.width << " px on a line of " << label.room;
        }
        DestroyWindow(dlg);
    }
}

TEST(Resources, PopupMenuHoldsTheFourItems)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_POPUP));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    char text[64] = "?";
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);

    const struct {
        UINT id;
        const char* text;
        bool separator;
    } expected[] = {
        {IDM_PROPERTIES, "&Properties for Cyclowisp", false},
        {IDM_ABOUT, "&About Cyclowisp", false},
        {0, "", true},
        {IDCANCEL, "E&xit", false},
    };
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        text[0] = '\0';
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &info));
        EXPECT_EQ(info.wID, expected[i].id);
        EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, expected[i].separator);
        if (!expected[i].separator) {
            EXPECT_STREQ(text, expected[i].text);
            EXPECT_EQ(info.fState, 0u) << "no item is disabled, checked or default";
        }
        EXPECT_EQ(info.hSubMenu, nullptr);
    }
    DestroyMenu(menu);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The icon's sizes in the group's order: the 32 and the 16 of 100 % scaling first, then the small
// icon at 125 and 150 % and the large one at 125, 150 and 200 %.
const int ICON_SIZES[] = {32, 16, 20, 24, 40, 48, 64};
const size_t ICON_COUNT = sizeof ICON_SIZES / sizeof ICON_SIZES[0];

std::vector<GroupIconEntry> IconGroupEntries()
{
    const Resource group = Find(RT_GROUP_ICON, IDI_APP);
    if (!group.data || group.size < 6) return {};
    const WORD count = reinterpret_cast<const WORD*>(group.data)[2];
    if (group.size != 6 + count * sizeof(GroupIconEntry)) return {};
    std::vector<GroupIconEntry> entries(count);
    std::memcpy(entries.data(), group.data + 6, count * sizeof(GroupIconEntry));
    return entries;
}

TEST(Resources, IconGroupHoldsASixteenColourImageOfEachSize)
{
    const Resource group = Find(RT_GROUP_ICON, IDI_APP);
    ASSERT_NE(group.data, nullptr);
    const WORD* header = reinterpret_cast<const WORD*>(group.data);
    EXPECT_EQ(header[0], 0);  // reserved
    EXPECT_EQ(header[1], 1);  // icons
    ASSERT_EQ(header[2], ICON_COUNT);
    ASSERT_EQ(group.size, 6 + ICON_COUNT * sizeof(GroupIconEntry));
    const std::vector<GroupIconEntry> entries = IconGroupEntries();
    ASSERT_EQ(entries.size(), ICON_COUNT);

    for (size_t i = 0; i < ICON_COUNT; ++i) {
        const GroupIconEntry& e = entries[i];
        const int size = ICON_SIZES[i];
        SCOPED_TRACE(size);
        EXPECT_EQ(e.width, size);
        EXPECT_EQ(e.height, size);
        EXPECT_EQ(e.colours, 16);
        EXPECT_EQ(e.planes, 1);
        EXPECT_EQ(e.bitCount, 4);

        const Resource image = Find(RT_ICON, e.id);
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, e.bytes);
        BITMAPINFOHEADER bih;
        std::memcpy(&bih, image.data, sizeof bih);
        EXPECT_EQ(bih.biWidth, size);
        EXPECT_EQ(bih.biHeight, 2 * size) << "colour bits and AND mask";
        EXPECT_EQ(bih.biPlanes, 1);
        EXPECT_EQ(bih.biBitCount, 4);
        EXPECT_EQ(bih.biCompression, DWORD(BI_RGB));
        // Header, 16 palette entries, 4-bit colour rows and 1-bit mask rows, each padded to 4
        // bytes: a 20-pixel row is 10 colour bytes stored as 12 and 3 mask bytes stored as 4.
        const DWORD colourRow = (size * 4 + 31) / 32 * 4, maskRow = (size + 31) / 32 * 4;
        EXPECT_EQ(image.size, 40u + 16 * 4 + size * colourRow + size * maskRow);
        // Standard palette: black, light grey at 7, dark grey at 8, white at 15.
        const RGBQUAD* palette = reinterpret_cast<const RGBQUAD*>(image.data + 40);
        const COLORREF probe[][2] = {{0, RGB(0, 0, 0)},
                                     {7, RGB(0xC0, 0xC0, 0xC0)},
                                     {8, RGB(0x80, 0x80, 0x80)},
                                     {15, RGB(0xFF, 0xFF, 0xFF)}};
        for (const auto& p : probe) {
            const RGBQUAD& q = palette[p[0]];
            EXPECT_EQ(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue), p[1]) << "palette entry " << p[0];
        }
    }
}

// Pixels of an icon, top row first: the AND mask and the colour bits as 0x00RRGGBB.
struct IconPixels {
    int size;
    std::vector<bool> transparent;
    std::vector<DWORD> colour;

    bool RowTransparent(int y) const
    {
        for (int x = 0; x < size; ++x) {
            if (!transparent[y * size + x]) return false;
        }
        return true;
    }
    DWORD At(int x, int y) const { return colour[y * size + x] & 0xFFFFFF; }

    // One pixel as the art draws it: '.' transparent, 'K' black, 'W' white, '-' light grey,
    // 'g' dark grey, '?' any other colour.
    char Art(int x, int y) const
    {
        if (transparent[y * size + x]) return '.';
        switch (At(x, y)) {
        case 0x000000: return 'K';
        case 0xFFFFFF: return 'W';
        case 0xC0C0C0: return '-';
        case 0x808080: return 'g';
        }
        return '?';
    }
    std::string Row(int y, int x0, int x1) const
    {
        std::string s;
        for (int x = x0; x <= x1; ++x) s += Art(x, y);
        return s;
    }
    std::string Column(int x, int y0, int y1) const
    {
        std::string s;
        for (int y = y0; y <= y1; ++y) s += Art(x, y);
        return s;
    }
};

// The icon as LoadImageA gives it for a size; an empty picture when it comes back at another size.
IconPixels ReadIcon(int size)
{
    IconPixels px{size, {}, {}};
    HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                               MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size, size,
                                               LR_DEFAULTCOLOR));
    if (!icon) return px;
    ICONINFO info;
    GetIconInfo(icon, &info);
    BITMAP colourBitmap = {};
    GetObjectA(info.hbmColor, sizeof colourBitmap, &colourBitmap);
    if (colourBitmap.bmWidth == size && colourBitmap.bmHeight == size) {
        HDC dc = GetDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = size;
        bi.bmiHeader.biHeight = -size;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        std::vector<DWORD> mask(size * size);
        px.colour.resize(size * size);
        GetDIBits(dc, info.hbmMask, 0, size, mask.data(), &bi, DIB_RGB_COLORS);
        GetDIBits(dc, info.hbmColor, 0, size, px.colour.data(), &bi, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        for (DWORD m : mask) px.transparent.push_back((m & 0xFFFFFF) != 0);
    }
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    DestroyIcon(icon);
    return px;
}

// The image of one size as stored in the icon group, decoded from its 4-bit colour rows and
// 1-bit mask rows (bottom row first, each padded to 4 bytes).
IconPixels StoredIcon(int size)
{
    IconPixels px{size, {}, {}};
    for (const GroupIconEntry& e : IconGroupEntries()) {
        if (e.width != size) continue;
        const Resource image = Find(RT_ICON, e.id);
        if (!image.data) break;
        const RGBQUAD* palette = reinterpret_cast<const RGBQUAD*>(image.data + 40);
        const BYTE* colour = image.data + 40 + 16 * 4;
        const DWORD colourRow = (size * 4 + 31) / 32 * 4, maskRow = (size + 31) / 32 * 4;
        const BYTE* mask = colour + size * colourRow;
        for (int y = 0; y < size; ++y) {
            const int row = size - 1 - y;
            for (int x = 0; x < size; ++x) {
                const BYTE pair = colour[row * colourRow + x / 2];
                const RGBQUAD& q = palette[x % 2 ? pair & 0x0F : pair >> 4];
                px.colour.push_back(DWORD(q.rgbRed) << 16 | q.rgbGreen << 8 | q.rgbBlue);
                px.transparent.push_back(mask[row * maskRow + x / 8] >> (7 - x % 8) & 1);
            }
        }
        break;
    }
    return px;
}

// Windows picks the icon image by the size it needs: the caption and the About box ask for 20 or
// 24 at 125 and 150 %, Explorer for 40, 48 or 64. Each size comes out as its own drawing, not as
// another one stretched.
TEST(Resources, EachSizeLoadsAsItsOwnImage)
{
    for (int size : ICON_SIZES) {
        SCOPED_TRACE(size);
        const IconPixels stored = StoredIcon(size);
        ASSERT_EQ(stored.transparent.size(), size_t(size * size)) << "no image of this size";
        const IconPixels loaded = ReadIcon(size);
        ASSERT_EQ(loaded.transparent.size(), size_t(size * size))
            << "LoadImageA gave no icon of " << size << "x" << size;
        for (int y = 0; y < size; ++y) {
            EXPECT_EQ(loaded.Row(y, 0, size - 1), stored.Row(y, 0, size - 1)) << "row " << y;
        }
    }
}

// The art of every size: a frame with white top and left edges and black (outside) and dark grey
// (inside) bottom and right edges, as wide as the table says, around a light-grey field whose
// black bars stand on its bottom; fully transparent rows above and below.
TEST(Resources, IconIsARaisedFrameBetweenTransparentRows)
{
    const struct {
        int size, above, below;
        int white, grey, black;  // widths of the frame's edges
    } cases[] = {{16, 3, 4, 1, 0, 1},    {20, 4, 5, 1, 0, 1},    {24, 5, 6, 2, 1, 1},
                 {32, 8, 8, 2, 1, 1},    {40, 10, 10, 3, 1, 2},  {48, 12, 12, 3, 1, 2},
                 {64, 16, 16, 4, 2, 2}};
    const DWORD white = 0xFFFFFF, black = 0, lightGrey = 0xC0C0C0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const IconPixels px = ReadIcon(c.size);
        ASSERT_EQ(px.transparent.size(), size_t(c.size * c.size)) << "icon not loaded";
        const int top = c.above, bottom = c.size - c.below - 1;
        for (int y = 0; y < c.size; ++y) {
            EXPECT_EQ(px.RowTransparent(y), y < top || y > bottom) << "row " << y;
        }
        // No transparent pixel inside the frame.
        for (int y = top; y <= bottom; ++y) {
            for (int x = 0; x < c.size; ++x) ASSERT_FALSE(px.transparent[y * c.size + x]);
        }
        EXPECT_EQ(px.At(0, top), white) << "top-left";
        EXPECT_EQ(px.At(0, top + 2), white) << "left edge";
        EXPECT_EQ(px.At(c.size - 1, bottom), black) << "bottom-right";
        EXPECT_EQ(px.At(c.size - 1, top + 2), black) << "right edge";
        EXPECT_EQ(px.At(c.size / 2, bottom), black) << "bottom edge";
        EXPECT_EQ(px.At(c.white + 1, top + c.white + 1), lightGrey) << "field";

        // Across the field's top row, which no bar reaches, and down its first column, left of
        // the bars: each edge as wide as drawn.
        const int edges = c.grey + c.black;
        const std::string across = std::string(c.white, 'W') +
                                   std::string(c.size - c.white - edges, '-') +
                                   std::string(c.grey, 'g') + std::string(c.black, 'K');
        EXPECT_EQ(px.Row(top + c.white, 0, c.size - 1), across);
        const std::string down = std::string(c.white, 'W') +
                                 std::string(bottom - top + 1 - c.white - edges, '-') +
                                 std::string(c.grey, 'g') + std::string(c.black, 'K');
        EXPECT_EQ(px.Column(c.white, top, bottom), down);

        // Every column of the field is light grey above and black below: bars on the bottom.
        const int fieldTop = top + c.white, fieldBottom = bottom - edges;
        for (int x = c.white; x < c.size - edges; ++x) {
            const std::string column = px.Column(x, fieldTop, fieldBottom);
            const size_t bar = std::min(column.find('K'), column.size());
            EXPECT_EQ(column, std::string(bar, '-') + std::string(column.size() - bar, 'K'))
                << "column " << x;
        }
        EXPECT_EQ(px.Art(c.size / 2, fieldBottom), 'K') << "no bar in the middle";
    }
}

TEST(Resources, VersionBlockCarriesTheFixedFieldsAndStrings)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    DWORD ignored;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_NE(size, 0u) << "no version block in " << path;
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    ASSERT_EQ(len, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    // The project's version, through version.h as in the resource script: 1,0,0,1 for 1.0.0.1.
    const DWORD versionMS = CYCLOWISP_VERSION_MAJOR << 16 | CYCLOWISP_VERSION_MINOR;
    const DWORD versionLS = CYCLOWISP_VERSION_PATCH << 16 | CYCLOWISP_VERSION_TWEAK;
    EXPECT_EQ(fixed->dwFileVersionMS, versionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, versionLS);
    EXPECT_EQ(fixed->dwProductVersionMS, versionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, versionLS);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, DWORD(VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(translation[0], 0x0407);
    EXPECT_EQ(translation[1], 0x04b0);

    const struct {
        const char* key;
        const char* value;
    } strings[] = {
        {"Comments", "Contact: see the README file"},
        {"CompanyName", "The Cyclowisp authors"},
        {"FileDescription", "Cyclowisp Application File"},
        {"FileVersion", CYCLOWISP_VERSION_TEXT},
        {"InternalName", "Cyclowisp"},
        {"LegalCopyright", "Copyright (C) 2026 The Cyclowisp authors"},
        {"OriginalFilename", "cyclowis.exe"},
        {"PrivateBuild", CYCLOWISP_BUILD_TEXT},
        {"ProductName", "Cyclowisp"},
        {"ProductVersion", CYCLOWISP_VERSION_TEXT},
        {"SpecialBuild", CYCLOWISP_BUILD_TEXT},
    };
    for (const auto& s : strings) {
        SCOPED_TRACE(s.key);
        char* value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040704b0\\") + s.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                                   &len));
        EXPECT_STREQ(value, s.value);
    }
}

// An identity as the loader encodes it, such as Cyclowisp,processorArchitecture="x86",...; ASCII.
std::string AssemblyIdentity(HANDLE context, DWORD index)
{
    std::vector<BYTE> buffer(4096);
    SIZE_T written = 0;
    if (!QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext,
                      buffer.data(), buffer.size(), &written)) {
        return "(error " + std::to_string(GetLastError()) + ")";
    }
    const auto* info =
        reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
    std::string identity;
    for (const wchar_t* c = info->lpAssemblyEncodedAssemblyIdentity; c && *c; ++c) {
        identity += char(*c);
    }
    return identity;
}

// Windows XP and later read the linked manifest (XP only its Common Controls 6); Windows 95 to
// 2000 never look at it. What counts is what the loader makes of it, so the loader is asked: the
// process is DPI-aware (so Windows does not stretch its windows into a blur), it runs with the
// rights of whoever starts it, and the manifest names the program and Common Controls 6, which
// must be found.
TEST(Resources, ManifestIsReadAsWritten)
{
    // This process runs under it: these are the settings of the process's own context.
    const struct {
        const wchar_t* space;
        const wchar_t* name;
        const wchar_t* value;
    } settings[] = {
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", L"true"},
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
         L"PerMonitorV2, System"},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE(testing::Message() << setting.name);
        wchar_t value[64] = L"";
        SIZE_T written = 0;
        EXPECT_TRUE(QueryActCtxSettingsW(0, nullptr, setting.space, setting.name, value, 64,
                                         &written))
            << "error " << GetLastError();
        EXPECT_STREQ(value, setting.value);
    }

    // A context made from the same resource: it is only made when every dependency is found.
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = GetModuleHandleW(nullptr);
    request.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE context = CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "error " << GetLastError();

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel = {};
    SIZE_T written = 0;
    EXPECT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                             &runLevel, sizeof runLevel, &written))
        << "error " << GetLastError();
    EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(runLevel.UiAccess, 0u);

    // The detailed information is followed by the paths it points to.
    std::vector<BYTE> detail(4096);
    EXPECT_TRUE(QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation,
                             detail.data(), detail.size(), &written))
        << "error " << GetLastError();
    ASSERT_EQ(reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(detail.data())
                  ->ulAssemblyCount,
              2u)
        << "the program and the one dependency";
    const std::string program = AssemblyIdentity(context, 1);
    const std::string controls = AssemblyIdentity(context, 2);
    ReleaseActCtx(context);

    // The program's own identity carries the project's version, 1.0.0.1.
    const std::string version = std::to_string(CYCLOWISP_VERSION_MAJOR) + "." +
                                std::to_string(CYCLOWISP_VERSION_MINOR) + "." +
                                std::to_string(CYCLOWISP_VERSION_PATCH) + "." +
                                std::to_string(CYCLOWISP_VERSION_TWEAK);
    EXPECT_EQ(program.rfind("Cyclowisp,", 0), 0u) << program;
    EXPECT_NE(program.find("version=\"" + version + "\""), std::string::npos) << program;
    EXPECT_NE(program.find("processorArchitecture=\"x86\""), std::string::npos) << program;
    // The system's Common Controls 6 assembly that was found, 6.0.x.y.
    EXPECT_EQ(controls.rfind("Microsoft.Windows.Common-Controls,", 0), 0u) << controls;
    EXPECT_NE(controls.find("version=\"6.0."), std::string::npos) << controls;
    EXPECT_NE(controls.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos)
        << controls;
}

}  // namespace
