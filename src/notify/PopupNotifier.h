// TPopupNotifier: the popup notification's logic without a toolkit. It keeps
// the settings, counts the popup windows it has open, places each new one
// beside the taskbar (stacking them when asked), and turns clicks on a window
// into its events. The toolkit supplies the desktop's geometry and builds the
// windows (IPopupDesktop, IPopupView).
//
//   TPopupNotifier notifier(desktop, factory);
//   LoadPopupNotifier1(notifier);
//   notifier.Title = "Quillbright";
//   notifier.ShowPopup();
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notify/NotifyGeometry.h"
#include "platform/MessageLoop.h"

namespace qb {

enum class TOrientation { mbHorizontal, mbVertical };
enum class TTextAlignment { taLeftJustify, taRightJustify, taCenter };

// Stored as bits 0 to 4, in this order.
enum TPopupNotifierOption : unsigned {
  pnAutoOpenURL = 1u << 0,
  pnSystemFont = 1u << 1,  // carries no behaviour
  pnCascadePopups = 1u << 2,
  pnAllowScroll = 1u << 3,
  pnAllowHyperlink = 1u << 4,
};

// Taskbar edges as GetTaskbarEdge gives them.
enum TTaskbarEdge { teUnknown = -1, teLeft = 0, teTop = 1, teRight = 2, teBottom = 3 };

// The edge of a taskbar by its rectangle; teUnknown without one.
int GetTaskbarEdge(const std::optional<TRect>& taskbar);

// The strip a screen keeps from its windows, from the screen's whole
// rectangle and the part windows may use: the widest strip on a side where
// they differ. A screen that keeps nothing has its taskbar taken as at the
// bottom, where popups then stand; nullopt is reserved for "no screen".
std::optional<TRect> TaskbarRectFromScreen(const TRect& screen, const TRect& available);

// A tray host that reserves no room for itself (a bare X desktop) still
// shows where the taskbar is: the strip from the screen edge nearest the
// tray icon to the icon's far side. The work area then leaves that strip out.
TRect StripAroundIcon(const TRect& screen, const TRect& icon);
TRect WorkAreaBesideStrip(const TRect& available, const TRect& strip);

// The colour of line `position` of `count` from c1 to c2: line 1 is c1,
// line `count` is c2, each channel rounded by MulDiv.
TColor BlendColor(TColor c1, TColor c2, int position, int count);

// A colour written "$" + eight hex digits (flag byte, blue, green, red);
// only the three low bytes count. Anything else reads as black.
TColor ParseColorText(const std::string& text);

// The body text's place in a window of the given size: width border - 15,
// centred both ways (halves rounded to even), for a label as high as the
// wrapped text.
TRect LayoutText(int borderWidth, int borderHeight, int labelHeight);

// The window's settings, copied from the component when it is shown.
struct TPopupWindowSettings {
  int Width = 0;
  int Height = 0;
  std::string Text;
  std::string URL;
  std::string Title;
  int TimeOut = 0;
  bool AllowScroll = false;
  bool AllowHyperlink = false;
  int ScrollSpeed = 0;
  TColor GradientColor1 = 0;
  TColor GradientColor2 = 0;
  TOrientation GradientOrientation = TOrientation::mbVertical;
  TTextAlignment TextAlignment = TTextAlignment::taCenter;
};

// One line of the painted gradient per pixel row (vertical) or column
// (horizontal), from the first line to the last, both included.
std::vector<TColor> GradientLines(const TPopupWindowSettings& settings);

// What the toolkit's popup window does on the logic's behalf.
class IPopupView {
 public:
  virtual ~IPopupView() = default;
  virtual void SetBounds(const TRect& bounds) = 0;
  // On top of all windows, shown without taking the focus.
  virtual void ShowNoActivate() = 0;
  virtual void Hide() = 0;
  // The exit timer: runs once for `interval`, then switches itself off.
  virtual void StartExitTimer(std::chrono::milliseconds interval) = 0;
};

class TPopupNotifier;

// The logic of one popup window (TfrmPopupNotifier). The view reports the
// mouse through TextClicked and ButtonReleased.
class TfrmPopupNotifier {
 public:
  TfrmPopupNotifier(TPopupNotifier& owner, TPopupWindowSettings settings);
  ~TfrmPopupNotifier();
  TfrmPopupNotifier(const TfrmPopupNotifier&) = delete;
  TfrmPopupNotifier& operator=(const TfrmPopupNotifier&) = delete;

  const TPopupWindowSettings& Settings() const { return settings_; }
  const TRect& Bounds() const { return bounds_; }
  int TaskbarEdge() const { return edge_; }
  bool Visible() const { return visible_; }
  bool CloseReleases() const { return closeReleases_; }
  IPopupView* View() const { return view_.get(); }

  // A left click on the body text.
  void TextClicked();
  // A button released on the title or the background, or the right button
  // on the body text.
  void ButtonReleased();
  // A close request: destroys the window when CloseReleases is set, and
  // only hides it while its own click event runs.
  void Close();

 private:
  friend class TPopupNotifier;
  void Present(int edge, const TRect& workArea);
  void RaiseClick();

  TPopupNotifier& owner_;
  TPopupWindowSettings settings_;
  std::unique_ptr<IPopupView> view_;
  TRect bounds_;
  int edge_ = teUnknown;
  bool closeReleases_ = true;
  bool visible_ = false;
  bool destroyed_ = false;
};

// Builds the toolkit's window for a popup's logic.
using TPopupViewFactory = std::function<std::unique_ptr<IPopupView>(TfrmPopupNotifier& window)>;

// The desktop as the popup sees it.
class IPopupDesktop {
 public:
  virtual ~IPopupDesktop() = default;
  virtual std::optional<TRect> TaskbarRect() = 0;  // nullopt: unknown
  virtual TRect WorkArea() = 0;
};

class TPopupNotifier {
 public:
  TPopupNotifier(IPopupDesktop& desktop, TPopupViewFactory viewFactory);
  ~TPopupNotifier();
  TPopupNotifier(const TPopupNotifier&) = delete;
  TPopupNotifier& operator=(const TPopupNotifier&) = delete;

  std::string Text = "text";
  int Location = 0;  // 1: centre of the work area; else beside the taskbar
  std::string URL = "https://quillbright.example/";
  int IconLeft = 8;
  int IconTop = 8;
  int TimeOut = 10;  // seconds
  int Width = 148;
  int Height = 121;
  TColor GradientColor1 = RGB(0x99, 0xCC, 0xFF);
  TColor GradientColor2 = RGB(0xFF, 0xFF, 0xFF);
  TOrientation GradientOrientation = TOrientation::mbVertical;
  int ScrollSpeed = 9;
  std::string Title = "title";
  unsigned Options = pnAutoOpenURL | pnCascadePopups | pnAllowScroll | pnAllowHyperlink;
  TTextAlignment TextAlignment = TTextAlignment::taCenter;
  int PopupMarge = 2;
  int PopupStartX = 16;
  int PopupStartY = 2;

  std::function<void(TPopupNotifier* sender)> OnClick;
  std::function<void(TPopupNotifier* sender, const std::string& url)> OnURLClick;
  // Opens a web address with the desktop's handler (pnAutoOpenURL).
  std::function<void(const std::string& url)> OpenURL;

  // Opens one more window; false, with nothing changed, when the stack has
  // no room for it.
  bool ShowPopup();
  // Closes the open windows: PopCount + 1 close requests, each followed by
  // the loop's pending messages.
  void CloseAllPopups();

  int PopCount() const { return popCount_; }
  int CascadeOffset() const { return cascadeOffset_; }
  // The windows not yet destroyed, oldest first.
  std::vector<TfrmPopupNotifier*> Windows() const;

 private:
  friend class TfrmPopupNotifier;
  bool HasRoom(const TRect& workArea) const;
  void AdvanceStack(int edge);
  void WindowDestroyed(TfrmPopupNotifier& window);
  void FreeDestroyedWindows();

  IPopupDesktop& desktop_;
  TPopupViewFactory viewFactory_;
  std::vector<std::unique_ptr<TfrmPopupNotifier>> windows_;
  HWND freeWindow_ = 0;
  int popCount_ = 0;
  int lastTaskbarEdge_ = 0;
  int cascadeOffset_ = 0;
};

// The settings of the main window's popup, PopupNotifier1.
void LoadPopupNotifier1(TPopupNotifier& notifier);

}  // namespace qb
