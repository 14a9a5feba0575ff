#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "kwinet/core/Application.h"
#include "kwinet/core/Resources.h"
#include "kwinet/core/Variant.h"
#include "kwinet/ui/ConsoleBackend.h"
#include "kwinet/ui/ScriptedBackend.h"

using namespace kwinet;
using namespace std::chrono_literals;

TEST(Application, TitleDefaultsToTheExecutableName) {
  EXPECT_EQ(Application->Title(), u"test_core");
}

TEST(Timer, FiresFromTheEventLoopAndStopsWhenFreedOrDisabled) {
  int ticks = 0;
  auto timer = std::make_unique<TTimer>(nullptr);
  EXPECT_EQ(timer->Interval(), 1000u);
  timer->SetInterval(10);
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 3) Application->Terminate();
  };
  Application->RunFor(5s);  // ends early through Terminate
  EXPECT_EQ(ticks, 3);
  timer->SetEnabled(false);
  Application->RunFor(50ms);
  EXPECT_EQ(ticks, 3);
  // A handler may free its own timer.
  timer->SetEnabled(true);
  timer->OnTimer = [&](TObject*) {
    ++ticks;
    timer.reset();
  };
  Application->RunFor(100ms);
  EXPECT_EQ(ticks, 4);
}

TEST(ScriptedBackend, AnswersModalFormsAndRecordsWhatWasShown) {
  TBackendScope<TScriptedBackend> ui;
  TCustomForm form(nullptr);
  form.SetCaption(u"Question");
  auto* edit = new TEdit(&form);
  edit->SetName(u"edSecret");
  edit->SetPasswordChar(u'*');
  edit->SetText(u"abc");
  auto* ok = new TButton(&form);
  ok->SetModalResult(mrOk);
  ui->QueueModal([&](TCustomForm& f) {
    f.FindControl<TEdit>(u"edSecret")->SetText(u"typed");
    ok->Click();
    return f.ModalResult();
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(edit->Text(), u"typed");
  ASSERT_EQ(ui->ModalForms.size(), 1u);
  EXPECT_EQ(ui->ModalForms[0].Caption, u"Question");
  EXPECT_EQ(ui->ModalForms[0].Text(u"edSecret"), u"***");  // never the password itself
  EXPECT_EQ(form.ShowModal(), mrCancel);  // nothing queued: Cancel

  EXPECT_EQ(Application->MessageBox(u"Hello", u"Caption"), IDOK);
  ASSERT_EQ(ui->Messages.size(), 1u);
  EXPECT_EQ(ui->Messages[0].Text, u"Hello");
}

TEST(Forms, ControlsFollowTheirFormAndNonModalChangesReachTheBackend) {
  TBackendScope<TScriptedBackend> ui;
  auto form = std::make_unique<TCustomForm>(nullptr);
  auto* label = new TLabel(form.get());
  auto* bar = new TProgressBar(form.get());
  label->SetCaption(u"Working");
  form->Show();
  bar->SetMax(10);
  bar->SetPosition(20);  // clamped
  EXPECT_EQ(bar->Position(), 10);
  EXPECT_EQ(form->StatusLine(), u"Working");
  EXPECT_GE(ui->Shown.size(), 2u);
  delete label;
  EXPECT_EQ(form->Controls().size(), 1u);
  form.reset();  // hides itself
  EXPECT_EQ(ui->HiddenCount, 1);
}

// A form shown already cannot be made modal as well: every backend would
// be left with two windows for one form. Refused alike, the form untouched.
TEST(Forms, ShowModalOfAShownFormIsRefusedAndLeavesItShown) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(in, 0);
  auto* scripted = new TScriptedBackend;
  scripted->QueueModal([](TCustomForm&) { return mrOk; });
  std::unique_ptr<TUIBackend> backends[] = {std::unique_ptr<TUIBackend>(scripted),
                                            std::make_unique<TConsoleBackend>(in, out)};
  for (auto& backend : backends) {
    auto previous = Application->SetBackend(std::move(backend));
    {
      TCustomForm form(nullptr);
      form.SetCaption(u"Busy");
      form.Show();
      form.SetModalResult(mrAbort);
      EXPECT_THROW(form.ShowModal(), EInvalidOperation);
      EXPECT_TRUE(form.Visible());
      EXPECT_EQ(form.ModalResult(), mrAbort);
      form.Hide();
    }
    backend = Application->SetBackend(std::move(previous));
  }
  EXPECT_TRUE(scripted->ModalForms.empty());
  EXPECT_EQ(scripted->HiddenCount, 1);

  // Nor again from inside its own modal showing; the outer one goes on.
  TBackendScope<TScriptedBackend> ui;
  TCustomForm form(nullptr);
  ui->QueueModal([](TCustomForm& f) {
    EXPECT_THROW(f.ShowModal(), EInvalidOperation);
    return mrOk;
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(ui->ModalForms.size(), 1u);
  EXPECT_FALSE(form.Visible());
  ::close(in);
  std::fclose(out);
}

TEST(Resources, TheKeyPictureIsEmbedded) {
  std::string_view png = FindResource("key.png");
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_TRUE(FindResource("none.png").empty());
}

TEST(Variant, HoldsNothingNullOrAString) {
  TVariant v;
  EXPECT_TRUE(VarIsEmpty(v));
  v = u"x";
  EXPECT_EQ(VarToStr(v), u"x");
  EXPECT_TRUE(VarIsNull(TVariant::Null()));
  EXPECT_EQ(VarToStr(TVariant::Null()), u"");
}
