#pragma once

#include <optional>
#include <string>

// Message boxes and questions of the program, behind one interface so that tests can
// read the texts and give the answers. Texts are UTF-8; a CR in a text is a line break.
namespace platform {

enum class MessageIcon { Information, Warning, Error, Question };

class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // A message with an OK button; the caption is the application title.
    virtual void message(const std::string& text, MessageIcon icon) = 0;
    enum class Default { Yes, No };
    // A Yes/No question; true for Yes. `preferred` is the button Enter presses.
    virtual bool ask(const std::string& text, MessageIcon icon, Default preferred) = 0;
    bool ask(const std::string& text, MessageIcon icon) { return ask(text, icon, Default::Yes); }
    // A one-line input box with a caption, a prompt and the text it starts with;
    // nullopt when cancelled.
    virtual std::optional<std::string> inputText(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& initial) = 0;
    // An OK message with its own caption (used before the main window exists).
    virtual void messageWithCaption(const std::string& caption, const std::string& text,
                                    MessageIcon icon) = 0;

    // A save dialog that starts in folder with fileName proposed (UTF-8 display name) and
    // filter (Qt's form: "description (*.ext)"); it asks before an existing file is
    // overwritten and takes only a name in an existing folder. The chosen native path, or
    // nullopt when cancelled.
    virtual std::optional<std::string> saveFileName(const std::string& folder,
                                                    const std::string& fileName,
                                                    const std::string& filter) = 0;
    // An open dialog that starts in folder with filter (Qt's form, several joined by ";;");
    // the chosen native path of an existing file, or nullopt when cancelled.
    virtual std::optional<std::string> openFileName(const std::string& folder,
                                                    const std::string& filter) = 0;
    // A folder browser with a prompt, starting in startFolder; the chosen native folder,
    // or nullopt when cancelled.
    virtual std::optional<std::string> chooseFolder(const std::string& prompt,
                                                    const std::string& startFolder) = 0;
};

} // namespace platform
