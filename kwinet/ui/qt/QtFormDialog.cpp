#include "kwinet/ui/qt/QtFormDialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <cstdlib>

#include "kwinet/ui/qt/QtPicture.h"

namespace kwinet::qt {

namespace {

Qt::Alignment LabelAlignment(TAlignment a) {
  switch (a) {
    case taRightJustify:
      return Qt::AlignRight | Qt::AlignTop;
    case taCenter:
      return Qt::AlignHCenter | Qt::AlignTop;
    default:
      return Qt::AlignLeft | Qt::AlignTop;
  }
}

// The shortest time between two refreshes of a dialog: about 30 a second.
constexpr int kFrameMs = 33;

// The Qt colour of a model colour; an invalid one for clDefault.
QColor ColorOf(TColor c, const QPalette& palette) {
  if (c == clDefault) return QColor();
  if (c == clHighlight) return palette.color(QPalette::Highlight);
  if (IsSystemColor(c)) return QColor();
  return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | c));
}

void ApplyLabelStyle(const TLabel& l, QLabel* w) {
  w->setAlignment(LabelAlignment(l.Alignment()));
  w->setWordWrap(l.WordWrap());
  QFont f = w->font();
  if (f.bold() != l.FontBold()) {
    f.setBold(l.FontBold());
    w->setFont(f);
  }
  QPalette p = w->palette();
  const QColor c = ColorOf(l.FontColor(), p);
  const QColor text = c.isValid() ? c : w->parentWidget()->palette().color(QPalette::WindowText);
  if (p.color(QPalette::WindowText) != text) {
    p.setColor(QPalette::WindowText, text);
    w->setPalette(p);
  }
}

void ApplyPanelStyle(const TPanel& pn, QLabel* w) {
  switch (pn.BevelOuter()) {
    case bvNone:
    case bvSpace:
      w->setFrameStyle(QFrame::NoFrame);
      break;
    case bvLowered:
      w->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      break;
    default:
      w->setFrameStyle(QFrame::Panel | QFrame::Raised);
      break;
  }
  QPalette p = w->parentWidget()->palette();
  const QColor c = ColorOf(pn.Color(), p);
  if (c.isValid()) {
    p.setColor(QPalette::Window, c);
    w->setBackgroundRole(QPalette::Window);
  } else {
    w->setBackgroundRole(QPalette::Base);
  }
  w->setPalette(p);
}

// A bevel: a sunken box, frame or one line along a side of its rectangle.
class TBevelWidget : public QWidget {
 public:
  TBevelWidget(TBevelShape Shape, QWidget* Parent) : QWidget(Parent), FShape(Shape) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const int w = width() - 1, h = height() - 1;
    auto line = [&](int x1, int y1, int x2, int y2) {
      p.setPen(dark);
      p.drawLine(x1, y1, x2, y2);
      p.setPen(light);
      // The highlight runs one pixel below or right of the shadow.
      if (y1 == y2)
        p.drawLine(x1, y1 + 1, x2, y2 + 1);
      else
        p.drawLine(x1 + 1, y1, x2 + 1, y2);
    };
    switch (FShape) {
      case bsTopLine:
        line(0, 0, w, 0);
        break;
      case bsBottomLine:
        line(0, h - 1, w, h - 1);
        break;
      case bsLeftLine:
        line(0, 0, 0, h);
        break;
      case bsRightLine:
        line(w - 1, 0, w - 1, h);
        break;
      case bsSpacer:
        break;
      case bsFrame:
        p.setPen(dark);
        p.drawRect(0, 0, w - 1, h - 1);
        p.setPen(light);
        p.drawRect(1, 1, w - 1, h - 1);
        break;
      default:  // bsBox: sunken
        p.setPen(dark);
        p.drawLine(0, 0, w, 0);
        p.drawLine(0, 0, 0, h);
        p.setPen(light);
        p.drawLine(0, h, w, h);
        p.drawLine(w, 0, w, h);
        break;
    }
  }

 private:
  TBevelShape FShape;
};

TTreeNode* NodeOf(QTreeWidgetItem* item) {
  return item ? reinterpret_cast<TTreeNode*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

// Everything a tree shows but its selection, as one string: the widget is
// rebuilt only when it differs.
std::u16string TreeShape(const TTreeView& tree) {
  std::u16string shape;
  for (TTreeNode* n = tree.Items()->GetFirstNode(); n; n = n->GetNext()) {
    shape += static_cast<char16_t>(n->Level() + 1);
    shape += static_cast<char16_t>((n->Bold() ? 1 : 0) | (n->Expanded() ? 2 : 0));
    shape += static_cast<char16_t>(n->ImageIndex() + 2);
    shape += static_cast<char16_t>(n->SelectedIndex() + 2);
    shape += n->Text();
    shape += u'\0';
  }
  shape += static_cast<char16_t>(tree.Images() ? tree.Images()->Count() + 1 : 0);
  return shape;
}

}  // namespace

TTreeNode* TQtFormDialog::LiveNode(const TTreeView& Tree, QTreeWidgetItem* Item) {
  // An item may outlive its node when the model changed under BeginUpdate
  // and has not told the form yet: only a node still in the tree is used.
  TTreeNode* node = NodeOf(Item);
  if (!node) return nullptr;
  for (TTreeNode* n = Tree.Items()->GetFirstNode(); n; n = n->GetNext())
    if (n == node) return node;
  return nullptr;
}

TQtFormDialog::TQtFormDialog(TCustomForm& Form, bool Modal) : FForm(Form), FModal(Modal) {
  setObjectName(ToQString(Form.Name()));
  setModal(Modal);
  FRefreshTimer.setSingleShot(true);
  connect(&FRefreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
  Build();
}

TQtFormDialog::~TQtFormDialog() = default;

QWidget* TQtFormDialog::WidgetOf(const TControl* Control) const {
  auto it = FWidgets.find(Control);
  return it == FWidgets.end() ? nullptr : it->second;
}

std::exception_ptr TQtFormDialog::TakeError() {
  std::exception_ptr e;
  std::swap(e, FError);
  return e;
}

void TQtFormDialog::Build() {
  if (const int h = FForm.FontHeight(); h != 0) {
    QFont f = font();
    // A negative height is the characters' own; a positive one includes the
    // space above them, about a fifth.
    f.setPixelSize(h < 0 ? -h : std::max(1, h - h / 5));
    setFont(f);
  }
  const QSize client(FForm.ClientWidth(), FForm.ClientHeight());
  switch (FForm.BorderStyle()) {
    case bsSingle:
    case bsDialog:
    case bsToolWindow:
      setFixedSize(client);
      break;
    default:
      resize(client);
      break;
  }
  if (FForm.BorderStyle() == bsToolWindow || FForm.BorderStyle() == bsSizeToolWin) setWindowFlag(Qt::Tool, true);
  for (TControl* c : FForm.Controls()) {
    QWidget* w = MakeWidget(c);
    if (!w) continue;
    w->setObjectName(ToQString(c->Name()));
    FEntries.push_back({c, w, UINT64_MAX, String()});
    FWidgets[c] = w;
  }
  // A label with a focus control moves the focus there on its accelerator.
  for (auto& e : FEntries)
    if (auto* l = dynamic_cast<TLabel*>(e.Control); l && l->FocusControl())
      if (QWidget* buddy = WidgetOf(l->FocusControl())) static_cast<QLabel*>(e.Widget)->setBuddy(buddy);
  // Tab order: the model's list first, in order; every other control takes
  // focus by a click only.
  const std::vector<TControl*> order = FForm.TabOrderList();
  for (auto& e : FEntries) {
    if (e.Widget->focusPolicy() == Qt::NoFocus) continue;
    if (std::find(order.begin(), order.end(), e.Control) == order.end()) e.Widget->setFocusPolicy(Qt::ClickFocus);
  }
  QWidget* previous = nullptr;
  for (TControl* c : order) {
    QWidget* w = WidgetOf(c);
    if (!w) continue;
    if (previous)
      QWidget::setTabOrder(previous, w);
    else
      w->setFocus(Qt::TabFocusReason);
    previous = w;
  }
  Refresh();
}

QWidget* TQtFormDialog::MakeWidget(TControl* c) {
  if (dynamic_cast<TLabel*>(c)) {
    auto* w = new QLabel(this);
    // What a label shows may come from a server: never read it as markup.
    w->setTextFormat(Qt::PlainText);
    return w;
  }
  if (auto* e = dynamic_cast<TEdit*>(c)) {
    auto* w = new QLineEdit(this);
    if (e->PasswordChar() != 0) w->setEchoMode(QLineEdit::Password);
    w->setText(ToQString(e->Text()));
    // What a person types reaches the model as it is typed, so that no
    // refresh of the dialog can take it back.
    connect(w, &QLineEdit::textEdited, this, [this, e](const QString& text) {
      if (FDetached) return;
      FWritingBack = true;
      e->SetText(FromQString(text));
      FWritingBack = false;
      for (auto& entry : FEntries)
        if (entry.Control == e) entry.Shown = e->Revision();
    });
    return w;
  }
  if (auto* b = dynamic_cast<TButton*>(c)) {
    auto* w = new QPushButton(this);
    // Enter is the model's default button, wherever the focus is; Space
    // clicks the focused one.
    w->setAutoDefault(false);
    w->setDefault(b->Default());
    connect(w, &QPushButton::clicked, this, [this, b] { ClickButton(b); });
    return w;
  }
  if (auto* bv = dynamic_cast<TBevel*>(c)) return new TBevelWidget(bv->Shape(), this);
  if (dynamic_cast<TImage*>(c)) {
    auto* w = new QLabel(this);
    w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return w;
  }
  if (dynamic_cast<TProgressBar*>(c)) {
    auto* w = new QProgressBar(this);
    w->setTextVisible(false);
    return w;
  }
  if (dynamic_cast<TPanel*>(c)) {
    // A panel: its colour (the light colour of text areas unless it has
    // one) within its edge.
    auto* w = new QLabel(this);
    w->setTextFormat(Qt::PlainText);
    w->setAlignment(Qt::AlignCenter);
    w->setAutoFillBackground(true);
    return w;
  }
  if (auto* t = dynamic_cast<TTreeView*>(c)) {
    auto* w = new QTreeWidget(this);
    w->setHeaderHidden(true);
    w->setColumnCount(1);
    w->setMouseTracking(t->HotTrack());
    w->setEditTriggers(QAbstractItemView::NoEditTriggers);
    if (t->Images()) w->setIconSize(QSize(t->Images()->Width(), t->Images()->Height()));
    connect(w, &QTreeWidget::itemClicked, this, [this, t](QTreeWidgetItem* item, int) { ClickTree(t, item); });
    // Moving with the keys selects without a click.
    connect(w, &QTreeWidget::currentItemChanged, this, [this, t](QTreeWidgetItem* item) {
      TTreeNode* node = LiveNode(*t, item);
      if (node && node != t->Selected()) RunHandler([t, node] { t->SetSelected(node); });
    });
    return w;
  }
  return nullptr;
}

void TQtFormDialog::ApplyState(TControl* c, QWidget* w) {
  QRect r(c->Left(), c->Top(), c->Width(), c->Height());
  if (auto* t = dynamic_cast<TTreeView*>(c); t && t->Align() == alClient)
    r = QRect(0, 0, FForm.ClientWidth(), FForm.ClientHeight());
  if (w->geometry() != r) w->setGeometry(r);
  w->setEnabled(c->Enabled());
  w->setHidden(!c->Visible());
}

void TQtFormDialog::RequestRefresh() {
  if (FDetached || FWritingBack) return;
  if (FRefreshTimer.isActive()) return;
  const qint64 since = FLastRefresh.isValid() ? FLastRefresh.elapsed() : kFrameMs;
  if (since >= kFrameMs) {
    Refresh();
    return;
  }
  FRefreshTimer.start(static_cast<int>(kFrameMs - since));
}

void TQtFormDialog::Flush() {
  if (FRefreshTimer.isActive()) Refresh();
}

void TQtFormDialog::Refresh() {
  if (FDetached || FWritingBack) return;
  FRefreshTimer.stop();
  FLastRefresh.start();
  const QString title = ToQString(FForm.Caption());
  if (windowTitle() != title) setWindowTitle(title);
  RefreshIcon();
  for (auto& e : FEntries) {
    // A tree compares what it shows by itself (its nodes change without
    // the control's revision while the model is being updated).
    if (auto* t = dynamic_cast<TTreeView*>(e.Control)) {
      if (e.Shown != t->Revision()) ApplyState(t, e.Widget);
      e.Shown = t->Revision();
      RefreshTree(t, static_cast<QTreeWidget*>(e.Widget));
      continue;
    }
    if (e.Shown == e.Control->Revision()) continue;
    e.Shown = e.Control->Revision();
    RefreshControl(e);
  }
}

void TQtFormDialog::RefreshIcon() {
  const TPicture& icon = *FForm.Icon();
  if (icon.Pixels() == FShownIcon && icon.Width() == FShownIconWidth) return;
  FShownIcon = icon.Pixels();
  FShownIconWidth = icon.Width();
  const QImage image = PictureImage(icon);
  setWindowIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
}

void TQtFormDialog::RefreshControl(TEntry& e) {
  TControl* c = e.Control;
  QWidget* w = e.Widget;
  ApplyState(c, w);
  if (auto* l = dynamic_cast<TLabel*>(c)) {
    auto* q = static_cast<QLabel*>(w);
    ApplyLabelStyle(*l, q);
    const QString text = q->buddy() ? ToQString(l->Caption()) : ToQString(StripAccelerators(l->Caption()));
    if (q->text() != text) q->setText(text);
  } else if (auto* ed = dynamic_cast<TEdit*>(c)) {
    // Only a change of the model's own text gets here: what was typed has
    // reached the model already.
    auto* q = static_cast<QLineEdit*>(w);
    const QString text = ToQString(ed->Text());
    if (q->text() != text) q->setText(text);
  } else if (auto* b = dynamic_cast<TButton*>(c)) {
    auto* q = static_cast<QPushButton*>(w);
    const QString text = ToQString(b->Caption());
    if (q->text() != text) q->setText(text);
    q->setDefault(b->Default());
  } else if (auto* img = dynamic_cast<TImage*>(c)) {
    auto* q = static_cast<QLabel*>(w);
    // The source of what it shows: a resource is decoded once for all
    // dialogs, a decoded picture converted once per change.
    const bool decoded = img->Graphic() && !img->Graphic()->Empty();
    const String source = decoded ? u"\x01" + IntToStr(static_cast<std::int64_t>(img->Revision())) : img->Picture();
    if (source == e.ShownPicture) return;
    e.ShownPicture = source;
    const QImage image = decoded ? PictureImage(*img->Graphic()) : ResourceImage(img->Picture());
    if (image.isNull())
      q->clear();
    else
      q->setPixmap(QPixmap::fromImage(image));
  } else if (auto* p = dynamic_cast<TProgressBar*>(c)) {
    auto* q = static_cast<QProgressBar*>(w);
    q->setRange(p->Min(), std::max(p->Min(), p->Max()));
    q->setValue(std::clamp(p->Position(), q->minimum(), q->maximum()));
  } else if (auto* pn = dynamic_cast<TPanel*>(c)) {
    auto* q = static_cast<QLabel*>(w);
    ApplyPanelStyle(*pn, q);
    q->setText(ToQString(StripAccelerators(pn->Caption())));
  }
}

void TQtFormDialog::RefreshTree(TTreeView* t, QTreeWidget* w) {
  // Never while a click on the tree is being handled: its items must stay
  // until the click has returned. The tree is looked at again after it.
  if (FBusy > 0) {
    FTreeDirty = true;
    return;
  }
  // The model's selection, shown without telling the model back.
  const QSignalBlocker quiet(w);
  std::u16string shape = TreeShape(*t);
  auto known = FTreeShapes.find(t);
  if (known != FTreeShapes.end() && known->second == shape) {
    QTreeWidgetItem* current = nullptr;
    if (TTreeNode* selected = t->Selected())
      for (QTreeWidgetItemIterator it(w); *it && !current; ++it)
        if (NodeOf(*it) == selected) current = *it;
    if (w->currentItem() != current) w->setCurrentItem(current);
    return;
  }
  FTreeShapes[t] = std::move(shape);
  w->clear();
  TImageList* images = t->Images();
  if (images) w->setIconSize(QSize(images->Width(), images->Height()));
  // Nodes come in display order, each after its parent: a map from node to
  // item finds the parent without walking the tree recursively.
  std::unordered_map<const TTreeNode*, QTreeWidgetItem*> items;
  QTreeWidgetItem* current = nullptr;
  for (TTreeNode* n = t->Items()->GetFirstNode(); n; n = n->GetNext()) {
    QTreeWidgetItem* parent = n->Parent() ? items[n->Parent()] : nullptr;
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(w);
    item->setText(0, ToQString(n->Text()));
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(n)));
    if (n->Bold()) {
      QFont f = w->font();
      f.setBold(true);
      item->setFont(0, f);
    }
    if (images) {
      QIcon icon;
      const QPixmap normal = ImageListPixmap(*images, n->ImageIndex());
      const QPixmap selected = ImageListPixmap(*images, n->SelectedIndex());
      if (!normal.isNull()) icon.addPixmap(normal, QIcon::Normal);
      if (!selected.isNull()) icon.addPixmap(selected, QIcon::Selected);
      item->setIcon(0, icon);
    }
    items[n] = item;
    if (n == t->Selected()) current = item;
  }
  for (auto& [node, item] : items) item->setExpanded(node->Expanded());
  if (current) w->setCurrentItem(current);
}

void TQtFormDialog::WriteBack() {
  if (FDetached) return;
  // Each text set tells the form, which would show the model again before
  // the next box has been copied: the boxes are copied first, then shown.
  FWritingBack = true;
  for (auto& e : FEntries)
    if (auto* ed = dynamic_cast<TEdit*>(e.Control)) ed->SetText(FromQString(static_cast<QLineEdit*>(e.Widget)->text()));
  FWritingBack = false;
  Refresh();
}

template <typename F>
void TQtFormDialog::RunHandler(F&& Handler) {
  if (FDetached) return;
  QPointer<TQtFormDialog> self(this);
  ++FBusy;
  try {
    WriteBack();
    Handler();
  } catch (...) {
    // Never through Qt's event loop: the backend raises it again once the
    // loop has returned to it.
    if (!FError) FError = std::current_exception();
  }
  if (!self) return;
  --FBusy;
  if (FDetached) return;
  if (FError && FModal) {
    done(mrCancel);
    return;
  }
  CheckDone();
  if (FTreeDirty && FBusy == 0) {
    FTreeDirty = false;
    // The tree's items may be in use further up the stack (the click that
    // ran the handler): rebuild it from the event loop.
    QTimer::singleShot(0, this, [this] { Refresh(); });
  }
}

void TQtFormDialog::ClickButton(TButton* Button) {
  RunHandler([Button] { Button->Click(); });
}

void TQtFormDialog::ClickTree(TTreeView* Tree, QTreeWidgetItem* Item) {
  TTreeNode* node = LiveNode(*Tree, Item);
  if (!node) return;
  RunHandler([Tree, node] {
    Tree->SetSelected(node);
    Tree->Click();
  });
}

void TQtFormDialog::CheckDone() {
  if (FModal && !FDetached && FForm.ModalResult() != mrNone && isVisible()) done(FForm.ModalResult());
}

void TQtFormDialog::PressCancel() {
  if (FDetached) return;
  TButton* cancel = FForm.CancelButton();
  if (!cancel || !cancel->Visible() || !cancel->Enabled()) return;
  ClickButton(cancel);
}

void TQtFormDialog::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    // Escape is the cancel button, if the form has one.
    PressCancel();
    Event->accept();
    return;
  }
  // Enter clicks the default button (QDialog's own handling).
  QDialog::keyPressEvent(Event);
}

void TQtFormDialog::closeEvent(QCloseEvent* Event) {
  // The model decides: closing a modal form answers Cancel, closing one
  // shown without waiting is its cancel button.
  if (FDetached) {
    Event->accept();
    return;
  }
  if (FModal) {
    RunHandler([this] { FForm.SetModalResult(mrCancel); });
    Event->setAccepted(!isVisible());
    return;
  }
  PressCancel();
  // A person's close box leaves the dialog until the model hides it (the
  // job ends at its next step); the application closing its windows as it
  // quits (QApplication::quit) is not held up.
  Event->setAccepted(!Event->spontaneous());
}

void TQtFormDialog::reject() {
  PressCancel();
}

void TQtFormDialog::Place() {
  switch (FForm.Position()) {
    case poDesigned:
      move(FForm.Left(), FForm.Top());
      break;
    case poScreenCenter:
    case poMainFormCenter:
    case poOwnerFormCenter:
      if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
      }
      break;
    default:
      break;
  }
}

}  // namespace kwinet::qt
