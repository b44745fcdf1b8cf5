#include "ui/app/main_frame.h"

#include <QGuiApplication>
#include <QSessionManager>

#include "core/app/paths.h"
#include "ui/app/navigator.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {

CMainFrame::CMainFrame(const std::string& programBase, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      programBase_(programBase) {
  setWindowTitle(QStringLiteral("Zorbek(Zorbek)"));
  setMinimumWidth(kMinWidth);
  setMaximumWidth(kMaxWidth);
  resize(240, 560);
  // The database path is worked out once per run; a changed setting counts from the next start.
  navigator_ = new CWndNavigator(ComputeDatabasePath(programBase_), this);
  setCentralWidget(navigator_);
  // The desktop session may end without closing the window: save then too.
  connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
    if (CXmlTreeCtrl* tree = navigator_->tree()) {
      std::lock_guard lock(tree->GetDatabase().Mutex());
      tree->GetDatabase().Save();
    }
  });
}

}  // namespace zorbek
