// How a page asks for a change: the call (one library call through the front-end library,
// returning a note or throwing the library's refusal) and the label beside the control the
// user acted on, where a refusal is shown. The scope tab runs it on the worker thread and
// reloads every view from the library afterwards, refused or not; the page's fields keep
// what the user typed, so nothing is lost when a change is refused.
#pragma once

#include <QLabel>

#include <functional>
#include <string>

using LibraryCall = std::function<std::string()>;
using ChangeRunner = std::function<void(LibraryCall call, QLabel *where)>;

// A label for refusals: hidden until there is something to say, selectable, wrapped.
QLabel *make_message_label(const QString &object_name, QWidget *parent);
