<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>CScanDlg</name>
    <message>
        <source>Find missing files in folder</source>
        <translation>フォルダーから見つからないファイルを探す</translation>
    </message>
    <message>
        <source>Searching: %1 folders, %2 files</source>
        <translation>検索中: %1 フォルダー、%2 ファイル</translation>
    </message>
    <message>
        <source>The drive mapping could not be saved. %1</source>
        <translation>ドライブの割り当てを保存できませんでした。%1</translation>
    </message>
    <message>
        <source>Rex Edit file (*.dvc)</source>
        <translation>Rex Edit ファイル (*.dvc)</translation>
    </message>
    <message>
        <source>all(*.*)</source>
        <translation>すべてのファイル (*.*)</translation>
    </message>
    <message>
        <source>The names in the project cannot be read: %1.</source>
        <translation>プロジェクト内の名前を読み取れません: %1。</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>中止しました</translation>
    </message>
    <message>
        <source>Stopped after %1</source>
        <translation>中止しました: %1</translation>
    </message>
    <message>
        <source>Can not open dvc file</source>
        <translation>dvc ファイルを開けません</translation>
    </message>
    <message>
        <source>completed</source>
        <translation>完了しました</translation>
    </message>
</context>
<context>
    <name>DialogTemplate</name>
    <message>
        <source>Process</source>
        <translation>実行</translation>
    </message>
    <message>
        <source>Step1: Select dvc file</source>
        <translation>手順1: dvc ファイルを選択</translation>
    </message>
    <message>
        <source>Step2:</source>
        <translation>手順2:</translation>
    </message>
    <message>
        <source>Files used in dvc</source>
        <translation>dvc で使われているファイル</translation>
    </message>
    <message>
        <source>korvane version information</source>
        <translation>korvane のバージョン情報</translation>
    </message>
    <message>
        <source>(C) 2026 The korvane developers (MIT)</source>
        <translation>(C) 2026 The korvane developers (MIT)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>A list raises the file which the project file (*.dvc) of RexEdit (It copes with it to Ver2.9.) is referred to with and which isn&apos;t found.</source>
        <translation>RexEdit のプロジェクト ファイル (*.dvc) が参照しているファイルのうち、見つからないものを一覧にします (Ver2.9 まで対応)。</translation>
    </message>
</context>
<context>
    <name>DriveMappingDlg</name>
    <message>
        <source>Drive mapping</source>
        <translation>ドライブの割り当て</translation>
    </message>
    <message>
        <source>Drives and shares of the editor&apos;s system, and the folders that stand for them here. Their files are looked for in these folders.</source>
        <translation>編集ソフトのシステムのドライブと共有、およびこのコンピューターでそれらの代わりとなるフォルダーです。それらのファイルはこのフォルダーの中で探します。</translation>
    </message>
    <message>
        <source>Drive or share</source>
        <translation>ドライブまたは共有</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>フォルダー</translation>
    </message>
    <message>
        <source>From</source>
        <translation>設定元</translation>
    </message>
    <message>
        <source>A drive such as D:, a share such as \\server\share, or a folder on one such as D:\Video</source>
        <translation>D: のようなドライブ、\\server\share のような共有、または D:\Video のようなその中のフォルダー</translation>
    </message>
    <message>
        <source>Drive or &amp;share:</source>
        <translation>ドライブまたは共有(&amp;S):</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>追加(&amp;A)...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>削除(&amp;R)</translation>
    </message>
    <message>
        <source>There is no folder for settings: set HOME or XDG_CONFIG_HOME.</source>
        <translation>設定用のフォルダーがありません。HOME または XDG_CONFIG_HOME を設定してください。</translation>
    </message>
    <message>
        <source>The settings cannot be read, so they are not saved: %1</source>
        <translation>設定を読み取れないため、保存しません: %1</translation>
    </message>
    <message>
        <source>Saved in %1</source>
        <translation>保存先: %1</translation>
    </message>
    <message>
        <source>Folder for %1</source>
        <translation>%1 に割り当てるフォルダー</translation>
    </message>
    <message>
        <source>%1 cannot be mapped to %2.</source>
        <translation>%1 を %2 に割り当てることはできません。</translation>
    </message>
    <message>
        <source>The drive mapping could not be saved. %1</source>
        <translation>ドライブの割り当てを保存できませんでした。%1</translation>
    </message>
    <message>
        <source>--map</source>
        <translation>--map</translation>
    </message>
    <message>
        <source>configuration file</source>
        <translation>設定ファイル</translation>
    </message>
    <message>
        <source>Wine prefix</source>
        <translation>Wine のプレフィックス</translation>
    </message>
    <message>
        <source>WSL</source>
        <translation>WSL</translation>
    </message>
</context>
<context>
    <name>FindMissingDlg</name>
    <message>
        <source>%1 %2</source>
        <extracomment>A number and what it counts: &quot;3 missing files&quot;.</extracomment>
        <translation>%2 %1 件</translation>
    </message>
    <message>
        <source>missing file</source>
        <translation>見つからないファイル</translation>
    </message>
    <message>
        <source>missing files</source>
        <translation>見つからないファイル</translation>
    </message>
    <message>
        <source>not searched for: </source>
        <translation>検索していません: </translation>
    </message>
    <message>
        <source>not found</source>
        <translation>見つかりません</translation>
    </message>
    <message>
        <source> (other extension)</source>
        <translation> (拡張子が違います)</translation>
    </message>
    <message>
        <source> (and %1 more)</source>
        <translation> (ほか %1 件)</translation>
    </message>
    <message>
        <source>Missing file</source>
        <translation>見つからないファイル</translation>
    </message>
    <message>
        <source>Found in the folder as</source>
        <translation>フォルダー内で見つかった名前</translation>
    </message>
    <message>
        <source>%1 of %2 on %3</source>
        <translation>%3 の%2中 %1 件</translation>
    </message>
    <message>
        <source> (a folder name that cannot be mapped)</source>
        <translation> (割り当てられないフォルダー名)</translation>
    </message>
    <message>
        <source>Find missing files</source>
        <translation>見つからないファイルを探す</translation>
    </message>
    <message>
        <source>Searched %1: found %2 of %3.</source>
        <translation>%1 を検索しました: %3のうち %2 件が見つかりました。</translation>
    </message>
    <message>
        <source>Suggested &amp;mappings</source>
        <translation>割り当ての候補(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Use mapping</source>
        <translation>割り当てを使う(&amp;U)</translation>
    </message>
    <message>
        <source>Drive or share</source>
        <translation>ドライブまたは共有</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>フォルダー</translation>
    </message>
    <message>
        <source>Explains</source>
        <translation>見つかるファイル</translation>
    </message>
    <message>
        <source>None: no missing file of a drive or share was found under its own name.</source>
        <translation>なし: ドライブや共有の見つからないファイルは、同じ名前ではどれも見つかりませんでした。</translation>
    </message>
    <message>
        <source>Use mapping cannot save this mapping: %1.</source>
        <translation>「割り当てを使う」ではこの割り当てを保存できません: %1。</translation>
    </message>
    <message>
        <source>Use mapping adds &quot;%1&quot; to the configuration file. It finds %2: %3</source>
        <translation>「割り当てを使う」は設定ファイルに「%1」を追加します。これで%2が見つかります: %3</translation>
    </message>
    <message>
        <source> and %1 more</source>
        <translation> ほか %1 件</translation>
    </message>
    <message>
        <source>.</source>
        <translation>。</translation>
    </message>
</context>
<context>
    <name>OpenFileDialog</name>
    <message>
        <source>The folder does not exist.</source>
        <translation>フォルダーが存在しません。</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>korvane version information(&amp;A)...</source>
        <translation>korvane のバージョン情報(&amp;A)...</translation>
    </message>
    <message>
        <source>&amp;Drive mapping...</source>
        <translation>ドライブの割り当て(&amp;D)...</translation>
    </message>
    <message>
        <source>&amp;Find missing files in folder...</source>
        <translation>フォルダーから見つからないファイルを探す(&amp;F)...</translation>
    </message>
</context>
<context>
    <name>SystemMenu</name>
    <message>
        <source>Mi&amp;nimize</source>
        <translation>最小化(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Close	Alt+F4</source>
        <translation>閉じる(&amp;C)	Alt+F4</translation>
    </message>
</context>
</TS>
