// The text entry's editing model and input filter.
#include "platform/x11/X11TextField.h"

#include <cstdlib>

#include "framework/IParam.h"

X11TextFilter X11TextFilter::ForParam(const IParam* pParam, int maxLength) {
  X11TextFilter f;
  if (!pParam) return f;
  f.allowed = pParam->Type() == IParam::kTypeDouble ? "0123456789.-+" : "0123456789-+";
  f.maxLength = maxLength > 0 ? maxLength : 0;
  return f;
}

bool X11TextFilter::Accepts(const std::string& candidate) const {
  if (maxLength > 0 && (int)candidate.size() > maxLength) return false;
  if (!allowed.empty())
    for (char c : candidate)
      if (allowed.find(c) == std::string::npos) return false;
  if (maxValue > 0 && std::atol(candidate.c_str()) > maxValue) return false;
  return true;
}

bool X11TextField::Insert(const std::string& typed) {
  const int a = SelStart(), b = SelEnd();
  std::string candidate = mText.substr(0, (size_t)a) + typed + mText.substr((size_t)b);
  if (!mFilter.Accepts(candidate)) return false;
  mText = std::move(candidate);
  mCaret = mAnchor = a + (int)typed.size();
  return true;
}

bool X11TextField::Erase(int from, int to) {
  std::string candidate = mText.substr(0, (size_t)from) + mText.substr((size_t)to);
  // Deleting can still break a rule (a maximum value read from what is left).
  if (!mFilter.Accepts(candidate)) return false;
  mText = std::move(candidate);
  mCaret = mAnchor = from;
  return true;
}

void X11TextField::Backspace() {
  if (HasSelection()) Erase(SelStart(), SelEnd());
  else if (mCaret > 0) Erase(PrevBoundary(mCaret), mCaret);
}

void X11TextField::Delete() {
  if (HasSelection()) Erase(SelStart(), SelEnd());
  else if (mCaret < (int)mText.size()) Erase(mCaret, NextBoundary(mCaret));
}

void X11TextField::Left(bool extend) {
  if (!extend && HasSelection()) Move(SelStart(), false);
  else Move(PrevBoundary(mCaret), extend);
}

void X11TextField::Right(bool extend) {
  if (!extend && HasSelection()) Move(SelEnd(), false);
  else Move(NextBoundary(mCaret), extend);
}

void X11TextField::Home(bool extend) { Move(0, extend); }
void X11TextField::End(bool extend) { Move((int)mText.size(), extend); }

void X11TextField::SelectAll() {
  mAnchor = 0;
  mCaret = (int)mText.size();
}

void X11TextField::SetCaret(int pos, bool extend) {
  if (pos < 0) pos = 0;
  if (pos > (int)mText.size()) pos = (int)mText.size();
  while (pos > 0 && pos < (int)mText.size() && ((unsigned char)mText[(size_t)pos] & 0xC0) == 0x80) --pos;
  Move(pos, extend);
}

int X11TextField::PrevBoundary(int pos) const {
  if (pos <= 0) return 0;
  --pos;
  while (pos > 0 && ((unsigned char)mText[(size_t)pos] & 0xC0) == 0x80) --pos;
  return pos;
}

int X11TextField::NextBoundary(int pos) const {
  const int n = (int)mText.size();
  if (pos >= n) return n;
  ++pos;
  while (pos < n && ((unsigned char)mText[(size_t)pos] & 0xC0) == 0x80) ++pos;
  return pos;
}

void X11TextField::Move(int pos, bool extend) {
  mCaret = pos;
  if (!extend) mAnchor = pos;
}
