#include "HelpTopics.h"

#include "basRingpostCfg.h"

#include <string_view>

namespace {

constexpr std::string_view kBreak = "\r\n\r\n";
constexpr std::string_view kExampleHost = "\"mail.example.com\"";
constexpr std::string_view kExampleAddress = "\"jokes@example.com\"";

void paragraph(std::string& text, std::string_view p) {
    text += p;
    text += kBreak;
}

}  // namespace

std::string helpTopicText(int topic, const std::string& homeDir) {
    std::string t;
    paragraph(t, "Thank you for purchasing KOVA(tm) Ringpost.");
    switch (topic) {
        case 0:
            paragraph(t, "To get started, first click the INSTALL button to install the KOVA(tm) Ringpost service.");
            paragraph(t, "Now click the ADD... button to create a new Ringpost. Fill in all the required fields and "
                         "click the OK button.");
            paragraph(t, "Finally click the START button to start the Ringpost. That's it!");
            break;
        case 2:
            paragraph(t, "Enter the name of the Ringpost, such as \"Joke of the Day\". This is a required field.");
            paragraph(t, "Enter a subscribe command, such as \"SUBSCRIBE\". This command is entered in the subject "
                         "field of an E-Mail by people who want to subscribe to the Ringpost. This is a required "
                         "field.");
            paragraph(t, "Enter an unsubscribe command, such as \"UNSUBSCRIBE\". This command is entered in the "
                         "subject field of an E-Mail by people who want to unsubscribe to the Ringpost. This is a "
                         "required field.");
            paragraph(t, "Enter a submit command, such as \"SUBMIT\". This command is entered in the subject field "
                         "of an E-Mail by people who want to send something to the Ringpost.");
            paragraph(t, "You can set each command (subscribe, unsubscribe, and submit) to require an "
                         "Administrator's approval. For example, checking \"Require Admin Approval\" for the "
                         "SUBSCRIBE command will not allow anyone to subscribe to the Ringpost unless an "
                         "Administrator approves the subscription. The new users sends a SUBSCRIBE request to the "
                         "Ringpost, and the Ringpost E-Mails the request to all Administrators. If an Administrator "
                         "wishes to allow this user to join the Ringpost, they only have to reply to the E-Mail and "
                         "the Ringpost will subscribe the new user automatically.");
            break;
        case 3:
            paragraph(t, std::string("Enter the hostname of the Ringpost's POP3 server, such as ") +
                             std::string(kExampleHost) +
                             ". This is a required field. IP addresses are acceptable as a hostname.");
            paragraph(t, "Enter the username of the Ringpost's POP3 server, such as \"ringpost\". This is a required "
                         "field.");
            paragraph(t, "Enter the password of the Ringpost's POP3 server, such as \"tulsk58\". This is a required "
                         "field. Please note the password field will only display *'s for security reasons.");
            break;
        case 4:
            paragraph(t, std::string("Enter the hostname of the Ringpost's SMTP server, such as ") +
                             std::string(kExampleHost) +
                             ". This is a required field. IP addresses are acceptable as a hostname.");
            paragraph(t, std::string("Enter the From field of the Ringpost, such as ") + std::string(kExampleAddress) +
                             ". This is a required field.");
            paragraph(t, std::string("Enter the Reply To field of the Ringpost, such as ") +
                             std::string(kExampleAddress) + ". ");
            paragraph(t, "You can have the Ringpost strip all attachments from all submissions. This is a "
                         "recommended option to reduce the chances of virus transmissions.");
            paragraph(t, "You can also have the Ringpost strip all HTML from all submissions. This is a recommended "
                         "option since only a small portion of the internet uses HTML for E-Mail.");
            paragraph(t, "Your mail provider may limit how many recipients the Ringpost's account may send to: Gmail "
                         "about 500 a day, Google Workspace 2,000 a day, Microsoft 365 30 messages a minute and "
                         "10,000 recipients a day. Enter limits a little below your provider's, a minute, an hour or "
                         "a day; 0 sets no limit. A submission then goes to as many members as the limits allow, "
                         "and to the others at the Ringpost's next passes.");
            break;
        case 5:
            paragraph(t, "Here you can view, add, and remove members of the Ringpost. Members with a check by their "
                         "E-Mail address are Administrators. The Ringpost must have at least one Administrator, but "
                         "may have several.");
            break;
        case 6: {
            const std::string home = withSlash(homeDir);
            paragraph(t, "Enter the prepend text file, such as \"prepend.txt\". This file is a text file added to "
                         "the beginning of each and every submission. If this field is left blank or the file does "
                         "not exist, nothing will be added to the beginning of each submission. Please note this is "
                         "a TEXT file. DO NOT USE MICROSOFT WORD TO EDIT OR CREATE THIS FILE! Use Notepad or similar "
                         "text editor ONLY!");
            paragraph(t, "Enter the postpend text file, such as \"postpend.txt\". This file is a text file added to "
                         "the end of each and every submission. If this field is left blank or the file does not "
                         "exist, nothing will be added to the end of each submission. Please note this is a TEXT "
                         "file. DO NOT USE MICROSOFT WORD TO EDIT OR CREATE THIS FILE! Use Notepad or similar text "
                         "editor ONLY!");
            paragraph(t, "Enter the welcome text file, such as \"welcome.txt\". This file is a text file sent to "
                         "newly subscribed members. If this field is left blank or the file does not exist, the "
                         "Ringpost will send a simple, short message to the new user informing them of a successful "
                         "subscription. Please note this is a TEXT file. DO NOT USE MICROSOFT WORD TO EDIT OR CREATE "
                         "THIS FILE! Use Notepad or similar text editor ONLY!");
            paragraph(t, "Enter the number to days to archive submissions. If this number is zero, submissions will "
                         "not be archived, and will be deleted as soon as they are sent.");
            paragraph(t, "Prepend, postpend, and welcome files should be placed in the:");
            paragraph(t, home + "(Ringpost Name)/");
            paragraph(t, "directory. Sample files have been included in:");
            t += home;  // the last paragraph has no break after it
            break;
        }
        default:
            break;
    }
    return t;
}
