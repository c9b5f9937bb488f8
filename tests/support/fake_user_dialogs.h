#pragma once

#include "platform/user_dialogs.h"

#include <deque>
#include <functional>
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
        if (m_whileAsking) {
            m_whileAsking();
        }
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

    // A save or open dialog or a folder browser: recorded, answered with the path queued by
    // chooseNext (cancelled when none is queued).
    struct Choice
    {
        std::string folder; // where it starts
        std::string name;   // the proposed file name; the prompt of a folder browser
        std::string filter; // "" for a folder browser
    };
    std::optional<std::string> saveFileName(const std::string& folder, const std::string& fileName,
                                            const std::string& filter) override
    {
        m_choices.push_back({folder, fileName, filter});
        return nextPath();
    }
    std::optional<std::string> openFileName(const std::string& folder,
                                            const std::string& filter) override
    {
        m_choices.push_back({folder, {}, filter});
        return nextPath();
    }
    std::optional<std::string> chooseFolder(const std::string& prompt,
                                            const std::string& startFolder) override
    {
        m_choices.push_back({startFolder, prompt, {}});
        return nextPath();
    }
    void chooseNext(std::optional<std::string> nativePath)
    {
        m_paths.push_back(std::move(nativePath));
    }
    const std::vector<Choice>& choices() const { return m_choices; }

    void answerNext(bool yes) { m_answers.push_back(yes); }
    // Runs while a question is open, before it is answered, as a user's thinking.
    void whileAsking(std::function<void()> work) { m_whileAsking = std::move(work); }
    // The preferred button of the last question.
    Default lastDefault() const { return m_lastDefault; }
    // The next input box returns text; nullopt cancels it.
    void typeNext(std::optional<std::string> text) { m_texts.push_back(std::move(text)); }
    const std::vector<Shown>& shown() const { return m_shown; }
    std::string lastText() const { return m_shown.empty() ? std::string() : m_shown.back().text; }
    void clear() { m_shown.clear(); }

private:
    std::optional<std::string> nextPath()
    {
        if (m_paths.empty()) {
            return std::nullopt;
        }
        auto path = m_paths.front();
        m_paths.pop_front();
        return path;
    }

    std::deque<std::optional<std::string>> m_paths;
    std::vector<Choice> m_choices;
    Default m_lastDefault = Default::Yes;
    std::deque<bool> m_answers;
    std::function<void()> m_whileAsking;
    std::deque<std::optional<std::string>> m_texts;
    std::vector<Shown> m_shown;
};

} // namespace testing_support
