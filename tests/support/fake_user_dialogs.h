#pragma once

#include "platform/user_dialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Records every message and question; questions take the answers queued by the test
// (No when none is queued).
class FakeUserDialogs : public platform::UserDialogs
{
public:
    struct Shown
    {
        std::string text;
        platform::MessageIcon icon;
        bool question;
    };

    void message(const std::string& text, platform::MessageIcon icon) override
    {
        m_shown.push_back({text, icon, false});
    }
    using platform::UserDialogs::ask;
    bool ask(const std::string& text, platform::MessageIcon icon, Default preferred) override
    {
        m_lastDefault = preferred;
        m_shown.push_back({text, icon, true});
        if (m_answers.empty()) {
            return false;
        }
        const bool answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void messageWithCaption(const std::string& caption, const std::string& text,
                            platform::MessageIcon icon) override
    {
        m_shown.push_back({caption + "|" + text, icon, false});
    }

    std::optional<std::string> inputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override
    {
        m_shown.push_back(
            {caption + "|" + prompt + "|" + initial, platform::MessageIcon::Question, true});
        if (m_texts.empty()) {
            return std::nullopt;
        }
        auto text = m_texts.front();
        m_texts.pop_front();
        return text;
    }

    void answerNext(bool yes) { m_answers.push_back(yes); }
    // The preferred button of the last question.
    Default lastDefault() const { return m_lastDefault; }
    // The next input box returns text; nullopt cancels it.
    void typeNext(std::optional<std::string> text) { m_texts.push_back(std::move(text)); }
    const std::vector<Shown>& shown() const { return m_shown; }
    std::string lastText() const { return m_shown.empty() ? std::string() : m_shown.back().text; }
    void clear() { m_shown.clear(); }

private:
    Default m_lastDefault = Default::Yes;
    std::deque<bool> m_answers;
    std::deque<std::optional<std::string>> m_texts;
    std::vector<Shown> m_shown;
};

} // namespace testing_support
