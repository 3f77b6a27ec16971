#pragma once

// The host's side of the plug-in's two kinds of question: an answer given on
// the command line is used when it fits the bounds the plug-in asks with;
// anything else is asked through the session's prompt channel.

#include <string>

#include "hostprogram/host/host_session.h"

// True when a file was chosen; path then holds it.
bool answerFileQuestion(HostSession& session, const char* prompt, const char* filter,
                        std::string& path);

int answerNumberQuestion(HostSession& session, const char* prompt, int defaultValue, int minimum,
                         int maximum);

// The condition named by text (a number from 1 or a name) in protocol: its
// number from 1, or 0 with why when there is none.
int resolveCondition(const Protocol& protocol, const std::string& text, std::string& why);
