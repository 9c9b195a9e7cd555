// The message library: the common message table and its two exported lookups.

#define KIVARO_RESOURCE_BUILD
#include "resource/CommonMessage.h"

#include "common/MessageTable.h"

namespace {

const MessageEntry kCommonMessages[] = {
    {101, L"Failed to write configuration.", L"設定の書き込みに失敗しました。"},
    {102, L"Failed to execute command.", L"コマンドの実行に失敗しました。"},
    {103, L"Log file error.", L"ログファイルが指定されていません。"},
    {104, L"Invalid format string.", L"文字列形式が不正です。"},
    {105, L"Socket Error.", L"ソケットエラー"},
    {106, L"Failed to receive data.", L"受信に失敗しました。"},
    {107, L"Failed to connect to host.", L"ホストへ接続できません。"},
    {108, L"Failed to start server.", L"ホストを作成できません。"},
    {109, L"Failed to send data.", L"送信に失敗しました。"},
    {110, L"Failed to load a XML document.", L"XMLドキュメントのロードに失敗しました。"},
    {111, L"Failed to parse a XML document.", L"XML処理中にエラーが発生しました。"},
    {112, L"Line:", L"行:"},
    {113, L" Column:", L" 桁:"},
    {114, L" Error code:", L" エラーコード:"},
    {115, L"Failed to create font.  ", L"フォントの作成に失敗しました。"},
    {116, L"Failed to load.  ", L"ファイルの読み込みに失敗しました。"},
    {117, L"Failed to init Direct3D.  ", L"Direct3D が初期化できません。"},
    {118, L"Failed to init DirectAudio.  ", L"DirectAudio の初期化に失敗しました。"},
    {119, L"Failed to init DirectSound.  ", L"DirectSound の初期化に失敗しました。"},
    {120, L"Failed to load.  ", L"ファイルのロードに失敗しました。"},
    {121, L"Failed to configure DirectAudio.  ", L"DirectAudio の設定に失敗しました。"},
    {122, L"Failed to play audio.  ", L"オーディオデータの再生に失敗しました。"},
    {123, L"Failed to stop playing audio.  ", L"オーディオデータの停止に失敗しました。"},
    {124, L"Failed to init sound data.  ", L"サウンドデータの初期化に失敗しました。"},
    {125, L"Failed to init DirectInput.  ", L"DirectInput の初期化に失敗しました。"},
    {126, L"The format is not supported.", L"サポートされていないファイル形式です。"},
    {127, L"The format is not supported.", L"サポートされていないファイル形式です。"},
    {128, L"Failed to login.", L"ログインに失敗しました。"},
    {129, L"Failed to init network.", L"ネットワークが利用できません。"},
    {130, L"Failed to get host name.", L"ホスト名の取得に失敗しました。"},
    {131, L"Failed to get host information.", L"ホスト情報の取得に失敗しました。"},
    {132, L"Failed to convert string.", L"文字コード変換に失敗しました。"},
    {133, L"Failed to draw.  ", L"画面描画に失敗しました。"},
    {134, L"Failed to init DirectDraw.  ", L"DirectDraw が初期化できません。"},
    {135, L"Failed to set screen mode.  ", L"画面モードが変更できません。"},
    {136, L"Invalid parameter.", L"パラメータ不正"},
    {137, L"Failed to open input file.", L"入力ファイルを開けません。"},
    {138, L"Failed to open output file.", L"出力ファイルを開けません。"},
    {139, L"A file name can't not contain following characters.", L"ファイル名には次の文字は使えません。"},
    {140, L" is not exist.", L" が存在しません。"},
    {141, L"Not supported.", L"対応していない動作です。"},
    {142, L"Failed to init DirectPlay.  ", L"DirectPlay の初期化に失敗しました。"},
    {143, L"Failed to create game.  ", L"ゲームが作成できません。"},
    {144, L"Failed to create session.  Confirm network settings.  ",
     L"セッションを作成できません。ネットワーク設定を確認してください。"},
    {145, L"Connection timeout.  ", L"接続がタイムアウトしました。"},
    {146, L"Failed to join session.  ",
     L"ゲームに参加できません。すでにゲームが始まっているか，人数が多すぎる可能性があります。"},
    {147, L"Failed to join session.  ", L"ゲームに参加できません。"},
    {148, L"Failed to join session.  Confirm network settings.  ",
     L"セッションに参加できません。ネットワーク設定を確認してください。"},
    {149, L"Failed to receive HTTP data.  ", L"HTTPデータを受信できませんでした。"},
    {150, L"Network error.", L"ホストとの通信に失敗しました。"},
    {151, L"Authorization failed.", L"認証に失敗しました。"},
    {152, L"Bandpass filter", L"バンドパスフィルタ"},
    {153, L"Change color mode", L"色数変更"},
    {154, L"From RGB", L"RGB 結合"},
    {155, L"Grayscale", L"グレースケール"},
    {156, L"Histgram expansion", L"ヒストグラム伸張"},
    {157, L"Mask", L"マスク処理"},
    {158, L"Mean filter", L"平均値フィルタ"},
    {159, L"Median filter", L"メディアンフィルタ"},
    {160, L"Monochrome", L"2 値化"},
    {161, L"Nega", L"ネガ"},
    {162, L"Noise", L"ノイズ"},
    {163, L"RDS", L"RDS"},
    {164, L"Change size", L"サイズ変更"},
    {165, L"Rotation", L"回転"},
    {166, L"Spectrum", L"スペクトル"},
    {167, L"Amplitude spectrum", L"振幅スペクトル"},
    {168, L"Phase spectrum", L"位相スペクトル"},
    {169, L"To RGB", L"RGB 分割"},
    {170, L"Trimming", L"トリミング"},
};

const MessageTable& CommonTable() {
    static const MessageTable table(std::begin(kCommonMessages), std::end(kCommonMessages));
    return table;
}

} // namespace

extern "C" const wchar_t* GetCommonMessageW(int id, wchar_t* buffer, int capacity) {
    return CommonTable().CopyWide(id, EnvironmentLocaleIsJapanese(), buffer, capacity);
}

extern "C" const char* GetCommonMessageA(int id, char* buffer, int capacity) {
    return CommonTable().CopyUtf8(id, EnvironmentLocaleIsJapanese(), buffer, capacity);
}
