#include "program.h"

#include <QApplication>

namespace orb {

TProgram::TProgram(TProgramOptions options) : o_(std::move(options)) {
    QApplication::setApplicationDisplayName(QString::fromLatin1(kTitle));
}

TProgram::~TProgram() { Shutdown(); }

void TProgram::CreateForms() {
    auto created = [this](const char* name) {
        if (o_.onCreated) o_.onCreated(name);
    };
    main_ = std::make_unique<TfOrbeloMain>();
    created("TfOrbeloMain");
    QObject::connect(main_.get(), &TfOrbeloMain::FirstShown, main_.get(), [this] { FormShow(); });

    dm_ = std::make_unique<TDataModuleLife>(o_.services, o_.clock ? *o_.clock : SystemClock::Instance());
    dm_->DataModuleCreate(o_.executable, o_.args, o_.tempRoot);
    created("TDM");

    auto add = [&](auto* w) {
        windows_.emplace_back(w);
        windowOrder_.push_back(w);
        created(w->metaObject()->className());
    };
    add(new TfrmBoard);
    add(new TfrmRequest);
    add(new TfrmUserList);
    add(new TfrmBrowser);
    add(new TfrmSharedDocuments);
    add(new TfrmUserControl);
    add(new TfrmBoardControls);
    add(new TfrmWebLinks);
    add(new TfrmPollresults);
    add(new TfrmProgress);
    add(new TfrmPlayer);
    add(new TfrmAppShareViewWindow);
    add(new TfrmRemoteAudioControl);
    add(new TfrmConnectionSpeedChooser);
    add(new TfrmBreakOutRooms);
    add(new TfrmPresentations);
    add(new TfrmNewAppShareSettings);
    add(new TfrmAppShare_Control);
    add(new TfrmAttendeeSelect);
    add(new TfrmTextMessages);
    add(new TfrmChatHolder);
    add(new TfrmSilenceSuppression);
}

void TProgram::FormShow() {
    TLaunchRequest r = ClassifyCommandLine(o_.args);
    dm_->Kind() = r.kind;
    dm_->Link() = r.link;
    if (r.kind == lkNone && o_.showLoginDialog) {
        if (!o_.showLoginDialog()) {
            QCoreApplication::exit(-1);
            return;
        }
    }
    if (o_.startRun) o_.startRun(r.kind, r.value);
}

int TProgram::Run() {
    if (!main_) CreateForms();
    main_->show();
    int code = QApplication::exec();
    Shutdown();
    return code;
}

void TProgram::Shutdown() {
    if (shutDown_ || !main_) return;
    shutDown_ = true;
    for (auto& w : opened_)
        if (w) w->close();
    // Freed in the reverse order of creation, the data module after the windows, the main window last.
    while (!windows_.empty()) windows_.pop_back();
    windowOrder_.clear();
    if (dm_) dm_->DataModuleDestroy();
    for (auto& w : opened_)
        if (w) delete w.data();
    opened_.clear();
    dm_.reset();
    main_.reset();
}

}  // namespace orb
