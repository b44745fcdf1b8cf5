#include "ui/db/xml_tree_ctrl.h"

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/text/cp936.h"

namespace zorbek {

CXmlTreeCtrl* CurrentNoteTree = nullptr;

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

std::string ElementPathOf(const QTreeWidgetItem* item) {
  std::string path;
  for (const QTreeWidgetItem* i = item; i; i = i->parent()) {
    const std::string text = S(i->text(0));
    path = i->parent() ? "/" + text + path : text + path;
  }
  const std::string box = "文件箱";
  if (path.rfind(box, 0) == 0) return kArchivePath + path.substr(box.size());
  const std::string schedule = "时间表";
  if (path.rfind(schedule, 0) == 0) return kSchedulePath + path.substr(schedule.size());
  return path;
}
}  // namespace

CXmlTreeCtrl::CXmlTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
  CurrentNoteTree = this;
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  fileBox_ = new QTreeWidgetItem(this, QStringList(QStringLiteral("文件箱")));
  schedule_ = new QTreeWidgetItem(this, QStringList(QStringLiteral("时间表")));
  homePage_ = new QTreeWidgetItem(this, QStringList(QStringLiteral("主页")));
  connect(this, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { OnExpansionChanged(item, true); });
  connect(this, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { OnExpansionChanged(item, false); });
}

CXmlTreeCtrl::~CXmlTreeCtrl() {
  {
    std::lock_guard lock(database_.Mutex());
    database_.Save();
  }
  if (CurrentNoteTree == this) CurrentNoteTree = nullptr;
}

bool CXmlTreeCtrl::OpenDatabase(const std::string& path) {
  std::lock_guard lock(database_.Mutex());
  const OpenedDatabase opened = OpenDatabaseFile(database_, path);
  FillFolder(opened.archive, fileBox_);
  return true;
}

void CXmlTreeCtrl::FillFolder(XmlNode element, QTreeWidgetItem* item) {
  if (TypeString(element) != "element" || !item) return;
  const bool outer = !filling_;
  filling_ = true;  // expansion done here is not a user's change: nothing is written
  for (XmlNode child = FirstChild(element); child; child = NextSibling(child)) {
    if (!IsElement(child)) continue;
    const std::string type = FoldLatinCase(Attribute(child, "type"));
    if (type != "esr" && type != "dir") continue;
    auto* childItem = new QTreeWidgetItem(item, QStringList(Q(Name(child))));
    childItem->setData(0, Qt::UserRole, Q(type));
    FillFolder(child, childItem);
  }
  item->setExpanded(EqualsIgnoreLatinCase(Attribute(element, "state"), "expanded"));
  if (outer) filling_ = false;
}

void CXmlTreeCtrl::OnExpansionChanged(QTreeWidgetItem* item, bool expanded) {
  if (filling_) return;
  std::lock_guard lock(database_.Mutex());
  XmlNode element = database_.Select(ElementPathOf(item));
  if (!element) return;
  SetAttribute(element, "state", expanded ? "expanded" : "collapsed");
  database_.Save();
}

}  // namespace zorbek
