// tvkui: drives the windows of a program on the same desktop from a shell script.
//
//   tvkui windows                           the visible top-level windows: class<TAB>caption
//   tvkui wait CAPTION                      waits for a visible window with exactly this caption
//   tvkui gone CAPTION                      waits until no such window is visible any more
//   tvkui controls CAPTION                  one line per control: class<TAB>id<TAB>visible<TAB>text
//   tvkui get CAPTION CLASS INDEX           prints the text of a control
//   tvkui set CAPTION CLASS INDEX TEXT      replaces the text of a control (an Edit, say)
//   tvkui click CAPTION BUTTON-TEXT         presses a button; returns at once, even when it opens a dialog
//   tvkui msgbox [--caption C] [--press BUTTON]
//                                           waits for a message box, prints its text, presses a button
//   tvkui capture CAPTION FILE.bmp [--whole]
//                                           saves the client area (the whole window with --whole) as .bmp
//
// Every command that needs a window or control waits for it, up to --timeout SECONDS (default 10).
// INDEX counts the visible controls of class CLASS, from 0, in the order "controls" lists them.
// Button texts match with "&" marks removed and blanks trimmed: "Continue" presses " &Continue ".
// Texts in "controls" show line breaks as \n. Exit status: 0 done, 1 a wait ran out or a control was
// missing (the reason, with the windows that were there, on stderr), 2 a usage error.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui_driver.h"

namespace {

const char kUsage[] =
    "usage: tvkui COMMAND ARGUMENTS [--timeout SECONDS]\n"
    "  windows                          list the visible top-level windows: class<TAB>caption\n"
    "  wait CAPTION                     wait for a visible window with exactly this caption\n"
    "  gone CAPTION                     wait until no such window is visible\n"
    "  controls CAPTION                 list its controls: class<TAB>id<TAB>visible<TAB>text\n"
    "  get CAPTION CLASS INDEX          print the text of the INDEXth (from 0) visible CLASS control\n"
    "  set CAPTION CLASS INDEX TEXT     replace that control's text\n"
    "  click CAPTION BUTTON-TEXT        press a button (\"&\" marks and outer blanks need not be given)\n"
    "  msgbox [--caption C] [--press BUTTON]\n"
    "                                   wait for a message box, print its text, press BUTTON\n"
    "  capture CAPTION FILE.bmp [--whole]\n"
    "                                   save the client area (or the whole window) as a 24-bit .bmp\n"
    "Waits last up to --timeout SECONDS (default 10). Exit status: 0 done, 1 failed, 2 usage error.\n";

struct UsageError {
  std::string message;
};

struct Arguments {
  std::vector<std::string> words;
  unsigned timeoutMs = tvkui::kDefaultTimeoutMs;
  std::string caption;
  std::string press;
  bool whole = false;
};

Arguments Parse(int argc, char** argv) {
  Arguments args;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError{word + " needs a value"};
      return argv[++i];
    };
    if (options && word == "--") {
      options = false;
    } else if (options && word == "--timeout") {
      std::string seconds = value();
      char* end = nullptr;
      double s = std::strtod(seconds.c_str(), &end);
      if (seconds.empty() || *end || s < 0 || s > 3600) throw UsageError{"bad --timeout " + seconds};
      args.timeoutMs = static_cast<unsigned>(s * 1000);
    } else if (options && word == "--caption") {
      args.caption = value();
    } else if (options && word == "--press") {
      args.press = value();
    } else if (options && word == "--whole") {
      args.whole = true;
    } else if (options && (word == "--help" || word == "-h")) {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (options && word.size() > 2 && word.compare(0, 2, "--") == 0) {
      throw UsageError{"unknown option " + word};
    } else {
      args.words.push_back(word);
    }
  }
  return args;
}

int ParseIndex(const std::string& text) {
  char* end = nullptr;
  long index = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || index < 0 || index > 100000) throw UsageError{"bad INDEX " + text};
  return static_cast<int>(index);
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\r' || text[i] == '\n') line += "\\n";
    else if (text[i] == '\t') line += ' ';
    else line += text[i];
  }
  return line;
}

int Run(const Arguments& args) {
  const std::vector<std::string>& w = args.words;
  if (w.empty()) throw UsageError{"no command"};
  const std::string& command = w[0];
  auto expect = [&](size_t count) {
    if (w.size() != count + 1) throw UsageError{command + " takes " + std::to_string(count) + " argument(s)"};
  };

  if (command == "windows") {
    expect(0);
    for (HWND window : tvkui::VisibleWindows())
      std::printf("%s\t%s\n", tvkui::ClassName(window).c_str(), OneLine(tvkui::Caption(window)).c_str());
  } else if (command == "wait") {
    expect(1);
    tvkui::WaitForWindow(w[1], args.timeoutMs);
  } else if (command == "gone") {
    expect(1);
    tvkui::WaitUntilGone(w[1], args.timeoutMs);
  } else if (command == "controls") {
    expect(1);
    HWND window = tvkui::WaitForWindow(w[1], args.timeoutMs);
    for (const tvkui::Control& c : tvkui::ListControls(window))
      std::printf("%s\t%d\t%d\t%s\n", c.className.c_str(), c.id, c.visible ? 1 : 0, OneLine(c.text).c_str());
  } else if (command == "get" || command == "set") {
    expect(command == "get" ? 3 : 4);
    int index = ParseIndex(w[3]);
    HWND window = tvkui::WaitForWindow(w[1], args.timeoutMs);
    tvkui::Control control = tvkui::WaitForControl(window, w[2], index, args.timeoutMs);
    if (command == "get")
      std::printf("%s\n", tvkui::GetText(control.hwnd).c_str());
    else
      tvkui::SetText(control.hwnd, w[4]);
  } else if (command == "click") {
    expect(2);
    HWND window = tvkui::WaitForWindow(w[1], args.timeoutMs);
    tvkui::ClickButton(window, w[2], args.timeoutMs);
  } else if (command == "msgbox") {
    expect(0);
    tvkui::MessageBoxInfo box = tvkui::WaitForMessageBox(args.caption, args.timeoutMs);
    std::printf("%s\n", box.text.c_str());
    std::fflush(stdout);
    if (!args.press.empty()) tvkui::PressMessageBoxButton(box.hwnd, args.press);
  } else if (command == "capture") {
    expect(2);
    HWND window = tvkui::WaitForWindow(w[1], args.timeoutMs);
    tvkui::SaveBmp(tvkui::Capture(window, !args.whole), w[2]);
  } else {
    throw UsageError{"unknown command " + command};
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(Parse(argc, argv));
  } catch (const UsageError& error) {
    std::fprintf(stderr, "tvkui: %s\n%s", error.message.c_str(), kUsage);
    return 2;
  } catch (const tvkui::UiError& error) {
    std::fprintf(stderr, "tvkui: %s\n", error.what());
    return 1;
  }
}
