// The bookkeeping of the sent-text display: the text as the control reads it back (a line break
// counts two positions), the end of the written text, the sent mark, and the colour of every
// position. What is queued is appended in ColorInText and turns to the font colour as it is
// sent; information text counts as sent. A view draws each change; every operation touches only
// the positions it changes, so it costs the same at character 100,000 as at character 100.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

using TRgb = uint32_t; // 0xRRGGBB

// What draws the display. Positions and lengths here are document characters (a line break is
// one character, '\n'), 0-based; text is Windows-1252.
class IDisplayView {
public:
    virtual ~IDisplayView() = default;
    virtual void AppendText(const std::string& text1252, TRgb colour) = 0; // may contain '\n'
    virtual void RemoveLast(int docChars) = 0;
    virtual void SetColour(int docStart, int docLength, TRgb colour) = 0;
    virtual void ClearText() = 0;
    virtual void ReplaceText(const std::string& text1252, TRgb colour) = 0; // the whole text
};

class TDisplayModel {
public:
    explicit TDisplayModel(IDisplayView* view = nullptr) : View_(view) {}
    void SetView(IDisplayView* view) { View_ = view; }

    int TextEnd() const { return TextEnd_; }   // 1-based, just after the last written character
    int SentMark() const { return SentMark_; } // 1-based, the first position not yet sent
    bool AllCaps() const { return AllCaps_; }
    void SetAllCaps(bool on);
    bool ZeroSlash() const { return ZeroSlash_; }
    void SetZeroSlash(bool on) { ZeroSlash_ = on; }
    TRgb ColorInText() const { return ColorInText_; }
    void SetColorInText(TRgb c) { ColorInText_ = c; }
    TRgb ColorInfoText() const { return ColorInfoText_; }
    void SetColorInfoText(TRgb c) { ColorInfoText_ = c; }
    TRgb BackgroundColor() const { return BackgroundColor_; }
    TRgb FontColor() const { return FontColor_; }
    void SetFontColor(TRgb c) { FontColor_ = c; }

    void ClearAll();
    void AddChar(uint8_t ch);
    void AddText(const std::string& text1252);
    void AddInfoText(const std::string& text1252);
    // Text that is not sent, in a colour of its own (a checked copy's marks, say); like an info
    // text it is behind the sent mark.
    void AddColouredText(const std::string& text1252, TRgb colour);
    void DeleteLast(int n);
    void MarkOneSent();
    void MarkSent(int n);
    void UnmarkSent(int n);
    uint8_t LastChar() const; // the character just before TextEnd; 0 when there is none

    const std::string& Text() const { return Text_; } // with "\r\n" line breaks
    TRgb ColourAt(int pos) const;                     // of the character at 1-based position pos
    // The document position of 1-based position pos (both halves of a line break give its one
    // document character).
    int DocPos(int pos) const;

private:
    void Append(const std::string& converted, TRgb colour);
    void Colour(int from, int count, TRgb colour); // 1-based positions
    std::string ConvertText(const std::string& s) const;
    uint8_t ConvertChar(uint8_t ch) const;

    IDisplayView* View_ = nullptr;
    std::string Text_;
    std::vector<TRgb> Colours_; // one per position of Text_
    std::vector<int> Breaks_;   // 0-based index of the '\r' of every line break, ascending
    int TextEnd_ = 1;
    int SentMark_ = 1;
    bool AllCaps_ = false;
    bool ZeroSlash_ = false;
    TRgb ColorInText_ = 0xFF0000;
    TRgb ColorInfoText_ = 0x008000;
    TRgb FontColor_ = 0x000000;
    TRgb BackgroundColor_ = 0xFFFFFF;
};

} // namespace brindle
