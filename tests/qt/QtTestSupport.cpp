#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "kwinet/core/ComCtrls.h"
#include "kwinet/core/Resources.h"

namespace kwinet::test {

namespace {

QString Q(const String& s) {
  return QString::fromStdU16String(s);
}

// The size of what an image control shows: its decoded picture, else its
// embedded resource.
QString ModelPictureSize(const TImage& image) {
  if (image.Graphic() && !image.Graphic()->Empty())
    return QString("%1x%2").arg(image.Graphic()->Width()).arg(image.Graphic()->Height());
  int w = 0, h = 0;
  if (PngSize(FindResource(StringToUtf8(image.Picture())), w, h)) return QString("%1x%2").arg(w).arg(h);
  return QString("none");
}

// A tree widget written out as TTreeView::DisplayText writes its model.
QString TreeText(QTreeWidget* tree) {
  QStringList lines;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    QTreeWidgetItem* item = *it;
    int level = 0;
    bool seen = true;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) {
      ++level;
      seen = seen && p->isExpanded();
    }
    if (!seen) continue;
    lines << QString(level * 2, ' ') + (item->font(0).bold() ? "*" : "") + item->text(0);
  }
  return lines.join('\n');
}

// One row per kind of control: the Qt class that shows it and what each
// side shows, as text.
struct TKind {
  std::function<bool(const TControl*)> Is;
  const char* QtClass;
  std::function<QString(const TControl*)> ModelText;
  std::function<QString(QWidget*)> WidgetText;
};

template <typename T>
bool IsA(const TControl* c) {
  return dynamic_cast<const T*>(c) != nullptr;
}

const std::vector<TKind>& Kinds() {
  static const std::vector<TKind> kinds = {
      {IsA<TLabel>, "QLabel", [](const TControl* c) { return StripAccelerators(Q(c->DisplayText())); },
       [](QWidget* w) { return StripAccelerators(static_cast<QLabel*>(w)->text()); }},
      {IsA<TEdit>, "QLineEdit",
       [](const TControl* c) {
         auto* e = static_cast<const TEdit*>(c);
         // A masked box shows one mark a character, whichever mark.
         return e->PasswordChar() ? QString("masked %1").arg(e->Text().size()) : Q(e->Text());
       },
       [](QWidget* w) {
         auto* e = static_cast<QLineEdit*>(w);
         return e->echoMode() == QLineEdit::Password ? QString("masked %1").arg(e->text().size()) : e->displayText();
       }},
      {IsA<TButton>, "QPushButton",
       [](const TControl* c) {
         auto* b = static_cast<const TButton*>(c);
         return Q(b->Caption()) + (b->Default() ? " default" : "");
       },
       [](QWidget* w) {
         auto* b = static_cast<QPushButton*>(w);
         return b->text() + (b->isDefault() ? " default" : "");
       }},
      {IsA<TProgressBar>, "QProgressBar",
       [](const TControl* c) {
         auto* p = static_cast<const TProgressBar*>(c);
         return QString("%1 of %2..%3").arg(p->Position()).arg(p->Min()).arg(p->Max());
       },
       [](QWidget* w) {
         auto* p = static_cast<QProgressBar*>(w);
         return QString("%1 of %2..%3").arg(p->value()).arg(p->minimum()).arg(p->maximum());
       }},
      {IsA<TPanel>, "QLabel", [](const TControl* c) { return StripAccelerators(Q(c->DisplayText())); },
       [](QWidget* w) { return static_cast<QLabel*>(w)->text(); }},
      {IsA<TImage>, "QLabel", [](const TControl* c) { return ModelPictureSize(*static_cast<const TImage*>(c)); },
       [](QWidget* w) {
         const QPixmap p = static_cast<QLabel*>(w)->pixmap();
         return p.isNull() ? QString("none") : QString("%1x%2").arg(p.width()).arg(p.height());
       }},
      {IsA<TTreeView>, "QTreeWidget", [](const TControl* c) { return Q(c->DisplayText()); },
       [](QWidget* w) { return TreeText(static_cast<QTreeWidget*>(w)); }},
      {IsA<TBevel>, "QWidget", [](const TControl*) { return QString(); }, [](QWidget*) { return QString(); }},
  };
  return kinds;
}

}  // namespace

QString StripAccelerators(const QString& s) {
  QString out;
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  return out;
}

void WhenModal(std::function<void(QWidget*)> Action, std::chrono::milliseconds Limit) {
  auto* timer = new QTimer();
  const auto until = std::chrono::steady_clock::now() + Limit;
  QObject::connect(timer, &QTimer::timeout, [timer, until, Action = std::move(Action)] {
    QWidget* w = QApplication::activeModalWidget();
    if (w && w->isVisible()) {
      timer->stop();
      timer->deleteLater();
      Action(w);
    } else if (std::chrono::steady_clock::now() > until) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal dialog was shown";
    }
  });
  timer->start(10);
}

void ExpectMatchesModel(QDialog* Dialog, const TCustomForm& Form) {
  ASSERT_NE(Dialog, nullptr);
  EXPECT_EQ(Dialog->windowTitle(), Q(Form.Caption()));
  EXPECT_EQ(Dialog->size(), QSize(Form.ClientWidth(), Form.ClientHeight()));
  for (TControl* c : Form.Controls()) {
    SCOPED_TRACE(StringToUtf8(c->Name()));
    auto* w = Dialog->findChild<QWidget*>(Q(c->Name()), Qt::FindDirectChildrenOnly);
    ASSERT_NE(w, nullptr);
    const TKind* kind = nullptr;
    for (const TKind& k : Kinds())
      if (k.Is(c)) {
        kind = &k;
        break;
      }
    ASSERT_NE(kind, nullptr) << "a control of a kind the test does not know";
    EXPECT_STREQ(w->metaObject()->className(), kind->QtClass);
    EXPECT_EQ(kind->WidgetText(w), kind->ModelText(c));
    QRect want(c->Left(), c->Top(), c->Width(), c->Height());
    if (auto* t = dynamic_cast<TTreeView*>(c); t && t->Align() == alClient)
      want = QRect(0, 0, Form.ClientWidth(), Form.ClientHeight());
    EXPECT_EQ(w->geometry(), want);
    EXPECT_EQ(w->isEnabled(), c->Enabled());
    EXPECT_EQ(w->isHidden(), !c->Visible());
  }
  // The focus chain, from the model's first control round to itself, holds
  // the model's tab order and nothing else that Tab reaches.
  QStringList want;
  for (TControl* c : Form.TabOrderList()) want << Q(c->Name());
  QStringList chain;
  for (QWidget* w = Dialog->nextInFocusChain(); w && w != Dialog; w = w->nextInFocusChain())
    if (w->parentWidget() == Dialog && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
  if (!want.isEmpty()) {
    const qsizetype first = chain.indexOf(want.front());
    if (first > 0) chain = chain.mid(first) + chain.mid(0, first);
  }
  EXPECT_EQ(chain, want);
}

void SaveShot(QWidget* Widget, const std::string& Name) {
  const QString folder = QStringLiteral(KWINET_QT_SHOT_DIR);
  QDir().mkpath(folder);
  const QString file = folder + "/" + QString::fromStdString(Name) + "-" + QGuiApplication::platformName() + ".png";
  const QPixmap shot = Widget->grab();
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), Widget->size());
  EXPECT_TRUE(shot.save(file, "PNG")) << file.toStdString();
  // A picture of one colour is no picture of a dialog.
  const QImage image = shot.toImage();
  bool varied = false;
  for (int y = 0; y < image.height() && !varied; y += 3)
    for (int x = 0; x < image.width() && !varied; x += 3) varied = image.pixel(x, y) != image.pixel(0, 0);
  EXPECT_TRUE(varied) << file.toStdString();
}

std::vector<QString> ShownTexts(QWidget* Window) {
  std::vector<QString> texts;
  QList<QWidget*> widgets = Window->findChildren<QWidget*>();
  widgets.prepend(Window);
  for (QWidget* w : widgets) {
    texts.push_back(w->windowTitle());
    texts.push_back(w->accessibleName());
    texts.push_back(w->accessibleDescription());
    texts.push_back(w->toolTip());
    texts.push_back(w->statusTip());
    texts.push_back(w->whatsThis());
    if (auto* l = qobject_cast<QLabel*>(w)) texts.push_back(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) texts.push_back(b->text());
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      texts.push_back(e->displayText());
      texts.push_back(e->placeholderText());
    }
  }
  return texts;
}

}  // namespace kwinet::test
