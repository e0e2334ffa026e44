#include "command/AgentPasteCoordinator.h"

#include "command/AgentContextCaptureService.h"
#include "platform/Accessibility.h"
#include "platform/KeySynthesizer.h"
#include "platform/SchedulerSleep.h"
#include "platform/Workspace.h"

uint64_t AgentPasteCoordinator::pasteFlags(const AgentTargetSnapshot &target) const
{
    const bool terminal = target.application && m_p.workspace->isTerminal(*target.application);
    return KeySynthesizer::commandFlag | (terminal ? KeySynthesizer::shiftFlag : 0);
}

void AgentPasteCoordinator::putOnClipboard(const QString &text)
{
    m_p.pasteboard->clear();
    m_p.pasteboard->setString(text);
}

QCoro::Task<AgentDeliveryResult> AgentPasteCoordinator::deliver(QString text, AgentSettings settings,
                                                                AgentTargetSnapshot target,
                                                                std::optional<QString> replacing)
{
    AgentDeliveryResult result;
    const PasteboardSnapshot snapshot = PasteboardSnapshot::capture(*m_p.pasteboard);

    if (m_p.insertTextDirectly && target.focusedElement && settings.automaticPaste) {
        const bool intact = !replacing || (settings.safelyReplaceRefinements &&
                                           m_p.contextCapture->exactText(*replacing, target));
        bool inserted = false;
        if (replacing && intact && target.selectedRange)
            inserted = target.focusedElement->replaceText(*target.selectedRange, text);
        else if (!replacing)
            inserted = target.focusedElement->insertText(text);
        if (inserted) {
            if (settings.copyResult)
                putOnClipboard(text);
            result.pasted = true;
            result.replacedPreviousResult = replacing.has_value();
            AgentTargetSnapshot delivered = target;
            const int64_t at = target.selectedRange ? target.selectedRange->location : 0;
            delivered.selectedRange = TextRange{at, int64_t(text.size())};
            m_lastTarget = delivered;
            m_lastDeliveredText = text;
            co_return result;
        }
    }

    if (replacing) {
        // The earlier result is overwritten only while it is exactly where it was pasted;
        // otherwise the user decides where the new text goes.
        const bool intact = settings.safelyReplaceRefinements && m_p.contextCapture->exactText(*replacing, target);
        const bool selected = intact && target.focusedElement && target.selectedRange &&
                              target.focusedElement->setSelectedTextRange(*target.selectedRange);
        if (!selected) {
            putOnClipboard(text);
            result.needsManualPaste = true;
            co_return result;
        }
    }

    if (settings.copyResult || settings.automaticPaste) {
        putOnClipboard(text);
        if (settings.automaticPaste && !m_p.keysReachApplications) {
            result.needsManualPaste = true;
        } else if (settings.automaticPaste && m_p.accessibility->isProcessTrusted(false)) {
            if (target.application && !m_p.workspace->isCurrentApplication(*target.application)) {
                m_p.workspace->activate(*target.application);
                // The window manager takes its time; keys sent before it is done land in
                // whichever window still has the focus, often our own.
                const auto inFront = [&] {
                    const auto front = m_p.workspace->frontmostApplication();
                    return front && front->processIdentifier == target.application->processIdentifier;
                };
                for (int i = 0; i < activationPolls && !inFront(); ++i) {
                    SchedulerSleep poll{*m_p.scheduler, activationPollInterval};
                    co_await poll;
                }
                if (!inFront()) {
                    result.needsManualPaste = true;
                    m_lastDeliveredText = text;
                    co_return result;
                }
            }
            SchedulerSleep activation{*m_p.scheduler, activationWait};
            co_await activation;
            m_p.contextCapture->postKey(KeySynthesizer::keyV, pasteFlags(target));
            SchedulerSleep consumption{*m_p.scheduler, pasteWait};
            co_await consumption;
            if (!settings.copyResult)
                snapshot.restore(*m_p.pasteboard);
            result.pasted = true;
            result.replacedPreviousResult = replacing.has_value();
        }
        AgentTargetSnapshot delivered = target;
        if (result.pasted && target.selectedRange)
            delivered.selectedRange = TextRange{target.selectedRange->location, int64_t(text.size())};
        m_lastTarget = delivered;
    }
    m_lastDeliveredText = text;
    co_return result;
}
