#include "ui/progress_dialog.h"

#include <string>
#include <utility>

#include "platform/codepage.h"
#include "resources/string_ids.h"
#include "ui/host_windows.h"
#include "ui/progress_view_hook.h"

namespace q7k {
namespace {

// What an 8-bit window text shows of message: its code-page form up to the
// first zero.
std::u16string AsWindowText(std::u16string_view message) {
  std::string ansi = WideToAnsi(message);
  ansi.resize(ansi.find('\0') == std::string::npos ? ansi.size()
                                                   : ansi.find('\0'));
  return AnsiToWide(ansi);
}

std::u16string Decimal(int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

int32_t Clamp(int32_t position, int32_t lower, int32_t upper) {
  if (position < lower) position = lower;
  if (position > upper) position = upper;
  return position;
}

}  // namespace

std::unique_ptr<ProgressDialog> ProgressDialog::Open(
    int32_t ownerHandle, std::u16string_view message,
    ProgressTextLoader texts) {
  if (ownerHandle != 0 && !IsHostWindow(ownerHandle)) return nullptr;
  ProgressState state;
  state.title = texts ? texts(ids::kProgressTitle) : kTemplateTitle;
  state.message = AsWindowText(message);
  state.label = kTemplateLabel;
  std::unique_ptr<ProgressView> view = NewProgressView();
  if (view == nullptr || !view->Open(ownerHandle, state)) return nullptr;
  return std::unique_ptr<ProgressDialog>(
      new ProgressDialog(std::move(view), std::move(texts), std::move(state)));
}

ProgressDialog::ProgressDialog(std::unique_ptr<ProgressView> view,
                               ProgressTextLoader texts, ProgressState state)
    : view_(std::move(view)),
      texts_(std::move(texts)),
      state_(std::move(state)) {}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::ShowProgress(int16_t lower, int16_t upper) {
  state_.barVisible = true;
  state_.lower = lower;
  state_.upper = upper;
  state_.position = Clamp(state_.position, lower, upper);
  view_->Update(state_);
}

void ProgressDialog::Step(int16_t step) {
  int32_t position = state_.position + step;
  if (position > state_.upper) position = state_.upper;
  state_.position = Clamp(position, state_.lower, state_.upper);
  std::u16string prefix = texts_ ? texts_(ids::kCompleted) : u"";
  state_.label = prefix + u" " + Decimal(position) + u" %";
  view_->Update(state_);
}

void ProgressDialogSlot::Display(int32_t ownerHandle,
                                 std::u16string_view message,
                                 ProgressTextLoader texts) {
  dialog_.reset();
  dialog_ = ProgressDialog::Open(ownerHandle, message, std::move(texts));
}

void ProgressDialogSlot::ShowProgress(int16_t lower, int16_t upper) {
  if (dialog_) dialog_->ShowProgress(lower, upper);
}

void ProgressDialogSlot::Step(int16_t step) {
  if (dialog_) dialog_->Step(step);
}

}  // namespace q7k
