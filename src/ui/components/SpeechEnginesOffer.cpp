#include "ui/components/SpeechEnginesOffer.h"

#include "speech/SpeechEngineInstaller.h"
#include "ui/components/Components.h"
#include "ui/components/ScreenLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

SpeechEnginesOffer::SpeechEnginesOffer(SpeechEngineInstaller &installer, QWidget *parent)
    : QWidget(parent), m_installer(installer)
{
    setObjectName(QStringLiteral("speechEnginesOffer"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *card = new CardBackground;
    outer->addWidget(card);
    const int e = fontMetrics().height();
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(e, e, e, e);
    column->setSpacing(e / 2);

    auto *top = new QHBoxLayout;
    top->setSpacing(e);
    top->addWidget(new SymbolLabel(QStringLiteral("waveform"), 2 * e, SymbolLabel::Tone::accent), 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(e / 4);
    texts->addWidget(roleLabel(QStringLiteral("heading"), QStringLiteral("Speech engines are missing")));
    QLabel *why = ScreenLayout::wrapping(
        QStringLiteral("Dictation needs whisper.cpp's speech engines. Orvel Raza can fetch Debian's packages of them "
                       "into your own folder; nothing else on this computer changes."));
    texts->addWidget(why);
    QLabel *size = ScreenLayout::caption(SpeechEngineInstaller::sizeText());
    size->setObjectName(QStringLiteral("speechEnginesSize"));
    texts->addWidget(size);
    top->addLayout(texts, 1);
    m_get = new PrimaryButton(QStringLiteral("Get the speech engines"), QStringLiteral("arrow.down"),
                              [this] { m_installer.start(); });
    m_get->setObjectName(QStringLiteral("getSpeechEngines"));
    top->addWidget(m_get, 0, Qt::AlignTop);
    column->addLayout(top);

    auto *progressRow = new QHBoxLayout;
    m_progress = new QProgressBar;
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1000);
    m_stage = ScreenLayout::caption(QString());
    m_stage->setObjectName(QStringLiteral("speechEnginesStage"));
    m_cancel = new QuietButton(QStringLiteral("Cancel"), QStringLiteral("xmark"), [this] { m_installer.cancel(); });
    m_cancel->setObjectName(QStringLiteral("cancelSpeechEngines"));
    auto *progressColumn = new QVBoxLayout;
    progressColumn->addWidget(m_progress);
    progressColumn->addWidget(m_stage);
    progressRow->addLayout(progressColumn, 1);
    progressRow->addWidget(m_cancel, 0, Qt::AlignVCenter);
    column->addLayout(progressRow);

    m_error = roleLabel(QStringLiteral("error"), QString());
    m_error->setObjectName(QStringLiteral("speechEnginesError"));
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_error);

    connect(&m_installer, &SpeechEngineInstaller::changed, this, &SpeechEnginesOffer::refresh);
    refresh();
}

void SpeechEnginesOffer::refresh()
{
    const bool running = m_installer.running();
    if (!running && SpeechEngineInstaller::enginesFound()) {
        hide();
        return;
    }
    show();
    m_get->setVisible(!running);
    m_get->setContent(m_installer.state() == SpeechEngineInstaller::State::failed ? QStringLiteral("Try again")
                                                                                  : QStringLiteral("Get the speech engines"),
                      QStringLiteral("arrow.down"));
    m_progress->setVisible(running);
    m_cancel->setVisible(running);
    m_stage->setVisible(running);
    m_stage->setText(m_installer.stage());
    // A step without a measure shows a busy bar.
    if (m_installer.progress() < 0) {
        m_progress->setRange(0, 0);
    } else {
        m_progress->setRange(0, 1000);
        m_progress->setValue(int(m_installer.progress() * 1000));
    }
    m_error->setText(m_installer.error());
    m_error->setVisible(!m_installer.error().isEmpty());
}
