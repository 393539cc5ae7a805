// The canvas's keys: KeyboardEvent.code (the key's position, whatever the layout) to the USB HID
// usage of that position. The window service turns the usage into the PC set-1 scan code with the
// desktop's table (platform/win_keys.h), so a key pressed in the canvas is the same key as one
// pressed in the desktop's window.
'use strict';

const ztKeyUsages = (() => {
  const t = {};
  'ABCDEFGHIJKLMNOPQRSTUVWXYZ'.split('').forEach((c, i) => { t['Key' + c] = 4 + i; });
  '1234567890'.split('').forEach((c, i) => { t['Digit' + c] = 30 + i; });
  for (let i = 1; i <= 10; ++i) t['F' + i] = 57 + i;
  t.F11 = 68;
  t.F12 = 69;
  for (let i = 13; i <= 24; ++i) t['F' + i] = 104 + (i - 13);
  '1234567890'.split('').forEach((c, i) => { t['Numpad' + c] = 89 + i; });
  Object.assign(t, {
    Enter: 40, Escape: 41, Backspace: 42, Tab: 43, Space: 44, Minus: 45, Equal: 46,
    BracketLeft: 47, BracketRight: 48, Backslash: 49, Semicolon: 51, Quote: 52,
    Backquote: 53, Comma: 54, Period: 55, Slash: 56, CapsLock: 57, PrintScreen: 70,
    ScrollLock: 71, Pause: 72, Insert: 73, Home: 74, PageUp: 75, Delete: 76, End: 77,
    PageDown: 78, ArrowRight: 79, ArrowLeft: 80, ArrowDown: 81, ArrowUp: 82, NumLock: 83,
    NumpadDivide: 84, NumpadMultiply: 85, NumpadSubtract: 86, NumpadAdd: 87, NumpadEnter: 88,
    NumpadDecimal: 99, IntlBackslash: 100, ContextMenu: 101, Power: 102, NumpadEqual: 103,
    AudioVolumeMute: 127, AudioVolumeUp: 128, AudioVolumeDown: 129, NumpadComma: 133,
    IntlRo: 135, KanaMode: 136, IntlYen: 137, Convert: 138, NonConvert: 139,
    ControlLeft: 224, ShiftLeft: 225, AltLeft: 226, MetaLeft: 227, ControlRight: 228,
    ShiftRight: 229, AltRight: 230, MetaRight: 231,
    MediaTrackNext: 258, MediaTrackPrevious: 259, MediaStop: 260, MediaPlayPause: 261,
  });
  return Object.freeze(t);
})();
