#include "notify/PopupNotifier.h"

#include <algorithm>
#include <cstdlib>

namespace qb {

namespace {

constexpr std::uint32_t kFreeDestroyedWindows = WM_USER + 1;

}  // namespace

int GetTaskbarEdge(const std::optional<TRect>& taskbar) {
  if (!taskbar) return teUnknown;
  const TRect& r = *taskbar;
  if (r.Left == r.Top && r.Bottom > r.Right) return teLeft;
  if (r.Left == r.Top && r.Bottom < r.Right) return teTop;
  if (r.Left < r.Top) return teBottom;
  return teRight;
}

std::optional<TRect> TaskbarRectFromScreen(const TRect& screen, const TRect& available) {
  struct Strip {
    int Thickness;
    TRect Rect;
  };
  const Strip strips[] = {
      {available.Left - screen.Left, {screen.Left, screen.Top, available.Left, screen.Bottom}},
      {available.Top - screen.Top, {screen.Left, screen.Top, screen.Right, available.Top}},
      {screen.Right - available.Right, {available.Right, screen.Top, screen.Right, screen.Bottom}},
      {screen.Bottom - available.Bottom,
       {screen.Left, available.Bottom, screen.Right, screen.Bottom}},
  };
  const Strip* widest =
      std::max_element(std::begin(strips), std::end(strips),
                       [](const Strip& a, const Strip& b) { return a.Thickness < b.Thickness; });
  if (widest->Thickness > 0) return widest->Rect;
  return TRect{screen.Left, screen.Bottom, screen.Right, screen.Bottom};
}

TRect StripAroundIcon(const TRect& screen, const TRect& icon) {
  const int toLeft = icon.Left - screen.Left;
  const int toTop = icon.Top - screen.Top;
  const int toRight = screen.Right - icon.Right;
  const int toBottom = screen.Bottom - icon.Bottom;
  const int nearest = std::min({toLeft, toTop, toRight, toBottom});
  if (nearest == toBottom) return {screen.Left, icon.Top, screen.Right, screen.Bottom};
  if (nearest == toTop) return {screen.Left, screen.Top, screen.Right, icon.Bottom};
  if (nearest == toRight) return {icon.Left, screen.Top, screen.Right, screen.Bottom};
  return {screen.Left, screen.Top, icon.Right, screen.Bottom};
}

TRect WorkAreaBesideStrip(const TRect& available, const TRect& strip) {
  TRect area = available;
  switch (GetTaskbarEdge(strip)) {
    case teLeft:
      area.Left = std::max(area.Left, strip.Right);
      break;
    case teTop:
      area.Top = std::max(area.Top, strip.Bottom);
      break;
    case teRight:
      area.Right = std::min(area.Right, strip.Left);
      break;
    default:
      area.Bottom = std::min(area.Bottom, strip.Top);
  }
  return area;
}

TColor BlendColor(TColor c1, TColor c2, int position, int count) {
  int n = position - 1;
  int d = count - 1;
  auto channel = [&](int from, int to) { return (from + MulDiv(n, to - from, d)) & 0xFF; };
  return RGB(channel(RedOf(c1), RedOf(c2)), channel(GreenOf(c1), GreenOf(c2)),
             channel(BlueOf(c1), BlueOf(c2)));
}

TColor ParseColorText(const std::string& text) {
  if (text.size() != 9 || text[0] != '$') return 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str() + 1, &end, 16);
  if (end != text.c_str() + text.size()) return 0;
  return static_cast<TColor>(value & 0xFFFFFF);
}

TRect LayoutText(int borderWidth, int borderHeight, int labelHeight) {
  int width = borderWidth - 15;
  int left = RoundHalfEven((borderWidth - width) / 2.0);
  int top = RoundHalfEven((borderHeight - labelHeight) / 2.0);
  return {left, top, left + width, top + labelHeight};
}

std::vector<TColor> GradientLines(const TPopupWindowSettings& settings) {
  bool vertical = settings.GradientOrientation == TOrientation::mbVertical;
  int extent = vertical ? settings.Height : settings.Width;
  std::vector<TColor> lines;
  for (int i = 0; i <= extent; ++i) {
    lines.push_back(
        BlendColor(settings.GradientColor1, settings.GradientColor2, i + 1, extent + 1));
  }
  return lines;
}

TfrmPopupNotifier::TfrmPopupNotifier(TPopupNotifier& owner, TPopupWindowSettings settings)
    : owner_(owner), settings_(std::move(settings)) {}

TfrmPopupNotifier::~TfrmPopupNotifier() = default;

void TfrmPopupNotifier::Present(int edge, const TRect& workArea) {
  const int w = settings_.Width;
  const int h = settings_.Height;
  const int offset = owner_.cascadeOffset_;
  edge_ = edge;
  closeReleases_ = true;
  int left = 0, top = 0;
  if (owner_.Location == 1) {
    left = workArea.Right / 2 - w / 2;
    top = workArea.Bottom / 2 - h / 2;
  } else if (edge == teLeft) {
    left = workArea.Left + owner_.PopupStartX;
    top = workArea.Bottom - owner_.PopupStartY - h - offset;
  } else if (edge == teTop) {
    left = workArea.Right - w - owner_.PopupStartX;
    top = workArea.Top + owner_.PopupStartY + offset;
  } else if (edge == teRight || edge == teBottom) {
    left = workArea.Right - w - owner_.PopupStartX;
    top = workArea.Bottom - owner_.PopupStartY - h - offset;
  }
  bounds_ = {left, top, left + w, top + h};
  owner_.AdvanceStack(edge);
  if (settings_.AllowScroll) {
    // Collapsed to a one-pixel strip on the taskbar's side.
    if (edge_ == teLeft) bounds_.Right = bounds_.Left + 1;
    if (edge_ == teTop) bounds_.Bottom = bounds_.Top + 1;
    if (edge_ == teRight) bounds_.Left = bounds_.Right - 1;
    if (edge_ == teBottom) bounds_.Top = bounds_.Bottom - 1;
  }
  view_->SetBounds(bounds_);
  if (!settings_.AllowScroll) {
    view_->StartExitTimer(
        std::chrono::milliseconds(static_cast<long long>(settings_.TimeOut) * 1000));
  }
  view_->ShowNoActivate();
  visible_ = true;
}

void TfrmPopupNotifier::TextClicked() {
  closeReleases_ = false;
  if (settings_.AllowHyperlink) {
    if (owner_.OnURLClick) owner_.OnURLClick(&owner_, settings_.URL);
    if ((owner_.Options & pnAutoOpenURL) && owner_.OpenURL) owner_.OpenURL(settings_.URL);
  } else {
    RaiseClick();
  }
  closeReleases_ = true;
  Close();
}

void TfrmPopupNotifier::ButtonReleased() {
  if (owner_.OnClick) {
    closeReleases_ = false;
    RaiseClick();
    closeReleases_ = true;
  }
  Close();
}

void TfrmPopupNotifier::RaiseClick() {
  if (owner_.OnClick) owner_.OnClick(&owner_);
}

void TfrmPopupNotifier::Close() {
  if (destroyed_) return;
  view_->Hide();
  visible_ = false;
  if (!closeReleases_) return;
  destroyed_ = true;
  owner_.WindowDestroyed(*this);
}

TPopupNotifier::TPopupNotifier(IPopupDesktop& desktop, TPopupViewFactory viewFactory)
    : desktop_(desktop), viewFactory_(std::move(viewFactory)) {
  freeWindow_ = MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == kFreeDestroyedWindows) FreeDestroyedWindows();
    return LRESULT{0};
  });
}

TPopupNotifier::~TPopupNotifier() {
  MessageLoop::Instance().DestroyWindow(freeWindow_);
}

bool TPopupNotifier::ShowPopup() {
  int edge = GetTaskbarEdge(desktop_.TaskbarRect());
  if (edge != lastTaskbarEdge_) {
    lastTaskbarEdge_ = edge;
    popCount_ = 0;
  }
  TRect workArea = desktop_.WorkArea();
  if (popCount_ <= 0) {
    cascadeOffset_ = 0;
  } else if (!HasRoom(workArea)) {
    return false;
  }
  ++popCount_;
  TPopupWindowSettings settings{Width,
                                Height,
                                Text,
                                URL,
                                Title,
                                TimeOut,
                                (Options & pnAllowScroll) != 0,
                                (Options & pnAllowHyperlink) != 0,
                                ScrollSpeed,
                                GradientColor1,
                                GradientColor2,
                                GradientOrientation,
                                TextAlignment};
  auto window = std::make_unique<TfrmPopupNotifier>(*this, std::move(settings));
  window->view_ = viewFactory_(*window);
  TfrmPopupNotifier& shown = *window;
  windows_.push_back(std::move(window));
  shown.Present(edge, workArea);
  return true;
}

bool TPopupNotifier::HasRoom(const TRect& workArea) const {
  switch (lastTaskbarEdge_) {
    case teLeft:
      return cascadeOffset_ + Width + PopupStartX <= workArea.Right;
    case teTop:
    case teBottom:
      return cascadeOffset_ + Height + PopupStartY <= workArea.Bottom;
    case teRight:
      return cascadeOffset_ + Height + PopupStartY <= workArea.Right;
    default:
      return true;
  }
}

void TPopupNotifier::AdvanceStack(int edge) {
  if (!(Options & pnCascadePopups)) {
    cascadeOffset_ = 0;
  } else if (edge != teUnknown) {
    cascadeOffset_ += Height + PopupMarge;
  }
}

// A window that is only hidden (its own click event is running) is asked
// again only after the shown ones, so it cannot use up every request.
void TPopupNotifier::CloseAllPopups() {
  int n = popCount_;
  if (n < 0) return;
  for (int i = 0; i <= n; ++i) {
    std::vector<TfrmPopupNotifier*> open = Windows();
    std::stable_partition(open.begin(), open.end(),
                          [](TfrmPopupNotifier* w) { return w->Visible(); });
    if (!open.empty()) open.front()->Close();
    MessageLoop::Instance().ProcessMessages();
  }
}

std::vector<TfrmPopupNotifier*> TPopupNotifier::Windows() const {
  std::vector<TfrmPopupNotifier*> open;
  for (const auto& window : windows_) {
    if (!window->destroyed_) open.push_back(window.get());
  }
  return open;
}

// A window is freed later, by a posted message: its close may come from
// inside its own mouse event.
void TPopupNotifier::WindowDestroyed(TfrmPopupNotifier&) {
  if (popCount_ > 0) --popCount_;
  MessageLoop::Instance().PostMessage(freeWindow_, kFreeDestroyedWindows);
}

void TPopupNotifier::FreeDestroyedWindows() {
  std::erase_if(windows_, [](const auto& window) { return window->destroyed_; });
}

void LoadPopupNotifier1(TPopupNotifier& notifier) {
  notifier.Text = "text";
  notifier.Location = 0;
  notifier.URL = "1";
  notifier.TimeOut = 100000;
  notifier.Width = 150;
  notifier.Height = 150;
  notifier.GradientColor1 = RGB(0x00, 0x66, 0xCC);
  notifier.GradientColor2 = RGB(0xFF, 0xFF, 0xFF);
  notifier.GradientOrientation = TOrientation::mbVertical;
  notifier.ScrollSpeed = 50;
  notifier.Title = "title";
  notifier.Options = 0;
  notifier.TextAlignment = TTextAlignment::taCenter;
}

}  // namespace qb
