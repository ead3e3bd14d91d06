#pragma once
// What the application tells the library about itself: the folder the library
// keeps its files in, the application's information dictionary (what a bundle's
// Info.plist holds), the application's life-cycle notices, its background
// time, the device's silent switch and audio. See docs/host.md.
#include <string>

namespace quillborne::host {

class Application {
 public:
  Application() = delete;

  // The folder under which the library keeps everything it stores (its
  // settings, the cached configuration, event backups, the own network's
  // cache). Set it before any other call of the library; the folder is
  // created when missing. False, and nothing changes, for an empty path or
  // one that cannot be made a folder.
  static bool setDataFolder(const std::string& path);
  // The folder in use: the one set, else $XDG_DATA_HOME/quillborne-host,
  // else $HOME/.local/share/quillborne-host, else the temporary folder's.
  static std::string dataFolder();

  // Replaces the information dictionary with the JSON object `jsonText`
  // ("CFBundleIdentifier", "CFBundleShortVersionString",
  // "UISupportedInterfaceOrientations", "SKAdNetworkItems" ...). False, and
  // nothing changes, when the text is not a JSON object. Without a call the
  // dictionary is {"CFBundleIdentifier": "com.example.host"}.
  static bool setInformationDictionary(const std::string& jsonText);
  // The dictionary in use, as compact JSON text.
  static std::string informationDictionary();

  // Life-cycle notices, as the system posts them (the library pauses and
  // resumes timers, reports sessions and writes its backups on them). Call
  // them on the main thread. Each answers false, and posts nothing, when the
  // application is not in a state it applies to:
  //   enterBackground: from active or inactive (resigns first when active);
  //   enterForeground: from the background, back to active;
  //   resignActive:    from active, to inactive (a call, a system sheet);
  //   becomeActive:    from inactive, to active.
  static bool enterBackground();
  static bool enterForeground();
  static bool resignActive();
  static bool becomeActive();
  // The application is about to end: the library writes what it keeps in
  // memory (event backups) before this returns.
  static void terminate();

  // The device's ring/silent switch as the user sets it (a Linux host has
  // none of its own): true is silent; off at start. The own network's pages
  // may listen to it. Any thread.
  static void setSilentSwitchOn(bool silent);

  // How long, in seconds, the system lets the application finish its work
  // once it entered the background (30 at start); taken at the next entry.
  // When it runs out the library cancels the work it kept going (the own
  // network's proxied requests). Any thread.
  static void setBackgroundTimeBudget(double seconds);

  // The audio a Linux host cannot tell the library by itself (docs/host.md):
  // the device's output volume (0 to 1; 0.5 at start), whether another
  // application plays audio, and an interruption of the application's audio
  // (a call, an alarm) beginning or ending, with whether its audio may
  // resume. The own network's pages read and hear them. Any thread.
  static void setOutputVolume(double volume);
  static void setOtherAudioPlaying(bool playing);
  static void postAudioInterruption(bool began, bool shouldResume);
};

}  // namespace quillborne::host
