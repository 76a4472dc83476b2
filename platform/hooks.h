// What the engine asks of the user interface: the message pump and three
// kinds of message box. The GUI installs both hooks; until then the command
// line and the tests run with the quiet defaults below, which never block.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace plat {

// Lets the user interface process pending window messages. A no-op until a hook is installed.
void ProcessMessages();
void SetProcessMessagesHook(std::function<void()> hook);

enum class MsgKind { Question, RetryCancel, Information };
enum class MsgResult { Yes, No, Retry, Cancel, Ok };

// Default answers without a hook: Question -> Yes (the only question the engine
// asks is whether to create a missing temporary folder: creating it loses
// nothing), RetryCancel -> Cancel (retrying without a person would loop),
// Information -> Ok.
MsgResult MessageBox(MsgKind kind, const std::string& caption, const std::string& text);
using MessageBoxHook = std::function<MsgResult(MsgKind, const std::string&, const std::string&)>;
void SetMessageBoxHook(MessageBoxHook hook);  // empty restores the defaults

// The application title used as a message-box caption.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// Pseudo-random numbers for the cipher's header bytes.
void Randomize();              // seed from the clock
void RandSeed(unsigned seed);  // fixed seed (tests)
int Random(int range);         // 0 <= n < range
// Bytes from the system's cryptographic source (salts that must never repeat).
void SecureRandomBytes(void* buffer, size_t count);

}  // namespace plat
