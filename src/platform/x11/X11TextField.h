// The editing model of the single-line text entry: text, caret, selection and the input filter.
#pragma once

#include <string>

class IParam;

// What a text entry accepts. An edit whose characters are not all in the set
// or that would make the text longer than the maximum is refused as a whole;
// with a maximum value, so is an edit whose integer value exceeds it.
struct X11TextFilter {
  std::string allowed;  // empty: any character
  int maxLength = 0;    // 0: no limit
  long maxValue = 0;    // 0: no limit

  // The filter of a parameter's entry: digits, ".", "-" and "+" for a double
  // parameter, digits, "-" and "+" for Boolean, integer and list parameters,
  // at most maxLength characters. Without a parameter nothing is filtered.
  static X11TextFilter ForParam(const IParam* pParam, int maxLength);
  bool Accepts(const std::string& candidate) const;
};

// Byte-based editing of ASCII-filtered or UTF-8 text; caret and anchor are
// byte offsets kept on character boundaries. The selection is the range
// between anchor and caret.
class X11TextField {
public:
  X11TextField() = default;
  X11TextField(const std::string& text, const X11TextFilter& filter) : mText(text), mFilter(filter) { SelectAll(); }

  const std::string& Text() const { return mText; }
  int Caret() const { return mCaret; }
  int SelStart() const { return mCaret < mAnchor ? mCaret : mAnchor; }
  int SelEnd() const { return mCaret < mAnchor ? mAnchor : mCaret; }
  bool HasSelection() const { return mCaret != mAnchor; }

  // Replaces the selection with typed text; false (nothing changes) when the filter refuses the result.
  bool Insert(const std::string& typed);
  void Backspace();
  void Delete();
  void Left(bool extend);
  void Right(bool extend);
  void Home(bool extend);
  void End(bool extend);
  void SelectAll();
  // Places the caret at a byte offset (clamped), e.g. from a click.
  void SetCaret(int pos, bool extend);

private:
  int PrevBoundary(int pos) const;
  int NextBoundary(int pos) const;
  void Move(int pos, bool extend);
  // Removes the selection when the filter accepts the result.
  bool Erase(int from, int to);

  std::string mText;
  X11TextFilter mFilter;
  int mCaret = 0, mAnchor = 0;
};
