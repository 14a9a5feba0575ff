#include "kwinet/web/kwidirect.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "kwinet/core/Application.h"
#include "kwinet/utils/PartFile.h"
#include "kwinet/web/NewsFile.h"

namespace kwinet {

String strKwInLinkRefused = u"Only http, https, ftp and mailto links are opened, not %s";

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

String HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return Utf8ToString(home);
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return Utf8ToString(pw->pw_dir);
  return u"/";
}

// Makes Folder and every missing folder above it, for this user only.
void ForceFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty()) ::mkdir(part.c_str(), 0700);
    if (slash == std::string::npos) break;
  }
}

// Writes the whole of fd into "<to>.part" (TPartFile: never through a link)
// and renames it to `to`; false, with nothing left behind, when it fails.
bool CopyInto(int from, const String& to) {
  try {
    TPartFile out(to, pfNew, 0600);
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(from, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      out.WriteBuffer(buffer, n);
    }
    out.Commit();
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// A link that the shell may be asked to open: a web, FTP or mail address.
// Control characters are refused too: no link needs one, and an opener's own
// scripts should not be handed a line break.
bool SafeLink(const String& url) {
  for (Char c : url)
    if (c < 0x20 || c == 0x7F) return false;
  for (const char16_t* prefix : {u"http://", u"https://", u"ftp://", u"mailto:"}) {
    const String p(prefix);
    if (url.size() > p.size() && StartsText(p, url)) return true;
  }
  return false;
}

}  // namespace

String ApplicationDataFolder() {
  String base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
    base = Utf8ToString(xdg);
  else
    base = HomeFolder() + u"/.local/share";
  while (base.size() > 1 && base.back() == u'/') base.pop_back();
  String exe = ExtractFileName(TApplication::ExeName());
  if (exe.empty()) exe = u"kwinet";
  return base + u"/" + exe;
}

// --- TfrmKwWebDirect --------------------------------------------------------------

TfrmKwWebDirect::TfrmKwWebDirect(TKwWebDirect* AOwner, TControl* AParent)
    : TCustomForm(AOwner), FDirect(AOwner), FParent(AParent) {}

TfrmKwWebDirect::~TfrmKwWebDirect() {
  if (FDirect) FDirect->DialogDestroying(this);
}

void TfrmKwWebDirect::Close() {
  Hide();
  delete this;
}

// --- TKwWebDirect -----------------------------------------------------------------

TKwWebDirect::TKwWebDirect(TComponent* AOwner) : TKwCustomWebUpdater(AOwner), FTitle(u"Moravelle WebDirect") {
  const String folder = ApplicationDataFolder();
  FLocalFileName = folder + u"/" + ChangeFileExt(ExtractFileName(folder), u".sin");
  SetMaxResponseSize(ContentMaxResponseSize);
}

TKwWebDirect::~TKwWebDirect() {
  EndJob();  // the job uses what goes below
  // The dialog goes while this component is still whole: it calls back.
  delete frm;
  SetParentControl(nullptr);
}

String TKwWebDirect::PreviousFileName() const {
  return ChangeFileExt(FLocalFileName, u".~sin");
}

void TKwWebDirect::SetParentControl(TControl* value) {
  if (value == FParentControl) return;
  if (FParentControl) FParentControl->RemoveFreeNotification(this);
  FParentControl = value;
  if (FParentControl) FParentControl->FreeNotification(this);
}

void TKwWebDirect::Notification(TComponent* AComponent, TOperation Operation) {
  TKwCustomWebUpdater::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == FParentControl) {
    // An embedded dialog goes with its host.
    if (frm && frm->Parent() == FParentControl) delete frm;
    FParentControl = nullptr;
  }
}

void TKwWebDirect::KeepPreviousCopy() {
  const int from = ::open(FileNameToPath(FLocalFileName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (from < 0) return;
  struct stat st {};
  // A previous copy that cannot be made leaves the older one: items then
  // count as new against it, and nothing is lost.
  if (::fstat(from, &st) == 0 && S_ISREG(st.st_mode)) CopyInto(from, PreviousFileName());
  ::close(from);
}

bool TKwWebDirect::Execute() {
  ForceFolders(FileNameToPath(ExtractFilePath(FLocalFileName)));
  KeepPreviousCopy();
  const bool result = TKwCustomWebUpdater::Execute();
  if (FShowMode == omAlways || (FShowMode == omIfChanged && result && Status() == isFinished)) ShowModal();
  return result;
}

void TKwWebDirect::Show() {
  BuildAndShow(false);
}

void TKwWebDirect::ShowModal() {
  BuildAndShow(true);
}

void TKwWebDirect::BuildAndShow(bool modal) {
  // One dialog per component: a second showing replaces the first.
  if (frm) frm->Close();
  const String previousName = PreviousFileName();
  const bool hadPrevious = FileExists(previousName);

  auto* form = new TfrmKwWebDirect(this, FParentControl);
  frm = form;
  try {
    if (FParentControl) {
      form->SetBorderStyle(bsNone);
      form->SetBorderIcons(false);
      form->SetPosition(poDefault);
      form->SetAlign(alClient);
      form->SetMaximized(true);
      form->SetClientWidth(FParentControl->Width());
      form->SetClientHeight(FParentControl->Height());
    } else {
      form->SetCaption(FTitle);
      form->SetBorderStyle(bsSizeable);
      form->SetPosition(poScreenCenter);
      form->SetClientWidth(460);
      form->SetClientHeight(320);
      form->SetShowHint(true);
    }
    FImageList = new TImageList(form);
    FImageList->AddMasked(u"direct_old.png", kWhite);
    FImageList->AddMasked(u"direct_new.png", kWhite);

    tree = new TKwITreeView(form);
    tree->SetName(u"tree");
    tree->SetAlign(alClient);
    tree->SetBounds(0, 0, form->ClientWidth(), form->ClientHeight());
    tree->SetImages(FImageList);
    tree->SetReadOnly(true);
    tree->OnClick = [this](TObject* Sender) { TreeClick(Sender); };

    TTreeNodes* items = tree->Items();
    items->BeginUpdate();
    // The previous captions by section and link, both without case as the
    // reader compares them.
    std::unordered_map<String, std::unordered_map<String, String>> before;
    if (hadPrevious)
      for (TNewsSection& s : LoadNewsFile(previousName)) {
        auto& links = before[LowerCase(s.Name)];
        for (TNewsItem& i : s.Items) links.emplace(LowerCase(i.Link), std::move(i.Caption));
      }
    for (const TNewsSection& s : LoadNewsFile(FLocalFileName)) {
      TTreeNode* category = items->AddChild(nullptr, s.Name);
      category->SetImageIndex(0);
      category->SetSelectedIndex(0);
      const auto old = before.find(LowerCase(s.Name));
      for (const TNewsItem& i : s.Items) {
        auto data = std::make_unique<TKwINodeData>();
        data->Url = i.Link;
        TTreeNode* node = items->AddChildObject(category, i.Caption, data.release());
        bool isNew = !hadPrevious || old == before.end();
        if (!isNew) {
          const auto caption = old->second.find(LowerCase(i.Link));
          isNew = caption == old->second.end() || caption->second.empty();
        }
        node->SetImageIndex(isNew ? 1 : 0);
        node->SetSelectedIndex(isNew ? 1 : 0);
        node->SetBold(isNew);
      }
    }
    if (TTreeNode* first = items->GetFirstNode()) {
      tree->FullExpand();
      tree->SetSelected(first);
      first->MakeVisible();
    }
    items->EndUpdate();
  } catch (...) {
    delete form;
    throw;
  }
  if (modal && !FParentControl) {
    form->ShowModal();
    // Closed: the form frees itself, unless something during the showing
    // already replaced or freed it.
    if (frm == form) form->Close();
  } else {
    form->Show();
  }
}

void TKwWebDirect::TreeClick(TObject* Sender) {
  (void)Sender;
  if (!tree || !tree->Selected()) return;
  if (auto* data = dynamic_cast<TKwINodeData*>(tree->Selected()->Data())) OpenLink(data->Url);
}

bool TKwWebDirect::OpenLink(const String& Url) {
  if (!SafeLink(Url)) {
    Application->MessageBox(Format(strKwInLinkRefused, {Url}), FTitle, MB_OK | MB_ICONWARNING);
    return false;
  }
  return Application->Backend().OpenDocument(Url);
}

void TKwWebDirect::DialogDestroying(TfrmKwWebDirect* form) {
  if (form != frm) return;
  if (tree) {
    std::vector<TTreeNode*> nodes;
    for (TTreeNode* n = tree->Items()->GetFirstNode(); n; n = n->GetNext()) nodes.push_back(n);
    // Last node first, as the dialog was built.
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      delete (*it)->Data();
      (*it)->SetData(nullptr);
    }
    tree->SetImages(nullptr);
  }
  delete FImageList;
  FImageList = nullptr;
  tree = nullptr;
  frm = nullptr;
}

}  // namespace kwinet
