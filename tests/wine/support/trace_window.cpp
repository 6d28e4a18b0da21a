#include "support/trace_window.h"

namespace {

std::vector<TraceLine> g_lines;
HWND g_window;

LRESULT CALLBACK TraceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const char* bytes = static_cast<const char*>(data->lpData);
        TraceLine line;
        line.cbData = data->cbData;
        line.dwData = data->dwData;
        line.terminated = data->cbData > 0 && bytes[data->cbData - 1] == 0;
        line.text.assign(bytes, strnlen(bytes, data->cbData));
        g_lines.push_back(line);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND CreateTraceWindow() {
    if (g_window) return g_window;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TraceWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VeskDebugWClass";
    RegisterClassA(&wc);
    g_window = CreateWindowA("VeskDebugWClass", "test trace", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                             nullptr, wc.hInstance, nullptr);
    return g_window;
}

void DestroyTraceWindow() {
    if (g_window) DestroyWindow(g_window);
    g_window = nullptr;
}

const std::vector<TraceLine>& TraceLines() { return g_lines; }

std::vector<std::string> TraceTexts() {
    std::vector<std::string> texts;
    for (const TraceLine& line : g_lines) texts.push_back(line.text);
    return texts;
}

void ClearTraceLines() { g_lines.clear(); }
