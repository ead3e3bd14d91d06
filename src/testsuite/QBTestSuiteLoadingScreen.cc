// The test suite's loading screen: a page of the project's own, written into
// the loading screen's blank page while the test page loads behind it. A
// wordmark above the middle of the screen and a loading indicator below it:
// four grey dots in a row, the first growing in, the middle two moving one
// place to the right, the last shrinking away, every 0.6 s.
#include "platform/crypto.h"
#include "platform/script/script_literal.h"
#include "testsuite/QBTestSuiteWebViewWrapper.h"

namespace {

constexpr char kLoadingScreenHtml[] = R"HTML(<!DOCTYPE html>
<html>
<head>
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Test suite</title>
<style>
html, body { margin: 0; height: 100%; background: #FFFFFF; }
.column { display: flex; flex-direction: column; height: 100%; }
.half { flex: 1; display: flex; justify-content: center; }
.upper { align-items: flex-end; }
.lower { align-items: flex-start; }
.logo { display: block; margin-bottom: 16px; }
.indicator { position: relative; width: 80px; height: 80px; }
.dot { position: absolute; top: 33px; width: 13px; height: 13px; border-radius: 50%; background: #A7A7A7;
       animation-duration: 0.6s; animation-iteration-count: infinite;
       animation-timing-function: cubic-bezier(0, 1, 1, 0); }
.dot.first { left: 8px; animation-name: grow; }
.dot.second { left: 8px; animation-name: step; }
.dot.third { left: 32px; animation-name: step; }
.dot.fourth { left: 56px; animation-name: shrink; }
@keyframes grow { from { transform: scale(0); } to { transform: scale(1); } }
@keyframes step { from { transform: translate(0, 0); } to { transform: translate(24px, 0); } }
@keyframes shrink { from { transform: scale(1); } to { transform: scale(0); } }
</style>
</head>
<body>
<div class="column">
  <div class="half upper">
    <svg class="logo" width="236" height="44" viewBox="0 0 236 44" xmlns="http://www.w3.org/2000/svg">
      <circle cx="22" cy="22" r="15" fill="none" stroke="#4A4A4A" stroke-width="5"/>
      <path d="M31 31 L40 40" stroke="#4A4A4A" stroke-width="5" stroke-linecap="round"/>
      <text x="52" y="30" font-family="Helvetica, Arial, sans-serif" font-size="22" fill="#4A4A4A">Quillborne</text>
    </svg>
  </div>
  <div class="half lower">
    <div class="indicator" id="loading-indicator">
      <div class="dot first"></div><div class="dot second"></div><div class="dot third"></div><div class="dot fourth"></div>
    </div>
  </div>
</div>
</body>
</html>
)HTML";

}  // namespace

std::string QBTestSuiteWebViewWrapper::loadingScreenScript() {
  static const std::string& script =
      *new std::string("document.write(atob(" + platform::scriptStringLiteral(platform::base64Encode(kLoadingScreenHtml)) + "))");
  return script;
}
