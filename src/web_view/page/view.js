'use strict';
// The rows as the program shows them, laid out by the main window's rule, from the state the server pushes.
const upper = document.getElementById('upper');
const lower = document.getElementById('lower');
const gone = document.getElementById('gone');
const controls = document.getElementById('controls');
const answer = document.getElementById('answer');
// The control address carries the token after '#', so it never travels in a request line or a log.
const token = new URLSearchParams(location.hash.slice(1)).get('control');
let state = null;
let socket = null;
let retries = 0;
let heard = 0;

// The main window's layout rule (main_window/layout.cpp), in points; the size is taken for the form the text
// is written in, as layoutRowsInForm() does for the speaker's window.
function layoutRows(width, height, bothRows) {
    const smallerOf = (byHeight, byWidth) => (byHeight > byWidth ? byWidth : byHeight);
    const rowHeight = bothRows ? height / 2 : height;
    const oneLineSize = smallerOf(rowHeight - 1, width / 12.5 - 1);
    const twoLineSize = smallerOf((rowHeight - 1) / 2.2, width / 9 - 1);
    return { lowerTop: bothRows ? rowHeight : 0, height: rowHeight, oneLineSize, twoLineSize };
}

function clampSize(size) {
    return Math.min(2048, Math.max(1, size));
}

function showRow(element, row, layout, top) {
    element.hidden = !row.shown;
    const lines = row.text.split(/\r\n|\r|\n/);
    element.textContent = lines.join('\n');
    element.style.color = row.foreground;
    element.style.background = row.background;
    element.style.top = top + 'pt';
    element.style.height = layout.height + 'pt';
    // The count writes its text in the form the main window chose; the size is the rule's size for that form.
    element.style.fontSize = clampSize(lines.length > 1 ? layout.twoLineSize : layout.oneLineSize) + 'pt';
}

function render() {
    if (!state)
        return;
    const both = state.upper.shown && state.lower.shown;
    const bar = controls.hidden ? 0 : controls.offsetHeight;
    // CSS pixels are 3/4 of a point.
    const layout = layoutRows(window.innerWidth * 0.75, (window.innerHeight - bar) * 0.75, both);
    showRow(upper, state.upper, layout, 0);
    showRow(lower, state.lower, layout, state.upper.shown ? layout.lowerTop : 0);
    document.title = (state.rehearsal ? 'リハーサル ' : '') + (state.paused ? '一時停止 ' : '') + 'Lectern';
    upper.classList.toggle('dimmed', state.paused);
    lower.classList.toggle('dimmed', state.paused);
    document.body.dataset.phase = state.phaseName;
}

function lost() {
    gone.hidden = false;
}

function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/socket');
    socket.onmessage = (event) => {
        state = JSON.parse(event.data);
        heard = Date.now();
        retries = 0;
        gone.hidden = true;
        render();
    };
    socket.onclose = () => {
        lost();
        socket = null;
        setTimeout(connect, Math.min(5000, 500 * 2 ** retries++));
    };
}

// The server speaks at least every few seconds; silence longer than that is a link gone without a close.
setInterval(() => {
    if (socket && socket.readyState === WebSocket.OPEN && Date.now() - heard > 8000) {
        lost();
        socket.close();
    }
}, 1000);

async function command(button) {
    const name = button.dataset.command;
    const body = button.dataset.seconds || '';
    try {
        const reply = await fetch('/api/' + name, { method: 'POST', headers: { 'X-Lectern-Token': token }, body });
        answer.textContent = reply.ok ? '' : reply.status === 403 ? '操作用アドレスが違います' : 'エラー ' + reply.status;
    } catch (error) {
        answer.textContent = '接続が切れました';
    }
}

if (token) {
    controls.hidden = false;
    for (const button of controls.querySelectorAll('button'))
        button.addEventListener('click', () => command(button));
}
window.addEventListener('resize', render);
connect();
