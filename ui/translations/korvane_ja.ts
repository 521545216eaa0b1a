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
    <message>
        <source>The present media were not remembered: %1.</source>
        <translation>見つかったメディアは記憶されませんでした: %1。</translation>
    </message>
    <message>
        <source>%1 present files remembered, %2 of them as before.</source>
        <translation>見つかった %1 個のファイルを記憶しました (うち %2 個は前回のまま)。</translation>
    </message>
    <message>
        <source>%1 could not be read.</source>
        <translation>%1 個は読み取れませんでした。</translation>
    </message>
    <message>
        <source>Changed since last seen: %1</source>
        <translation>前回から変わったファイル: %1</translation>
    </message>
    <message>
        <source>same size, other content</source>
        <translation>サイズは同じで内容が異なる</translation>
    </message>
    <message>
        <source>size %1, was %2</source>
        <translation>サイズ %1、以前は %2</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>ほか %1 個</translation>
    </message>
    <message>
        <source>Catalogue a disk</source>
        <translation>ディスクをカタログに登録</translation>
    </message>
    <message>
        <source>Cataloguing stopped</source>
        <translation>カタログへの登録を中止しました</translation>
    </message>
    <message>
        <source>The setting could not be saved. %1</source>
        <translation>設定を保存できませんでした。%1</translation>
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
        <source>(C) 2026 The korvane developers</source>
        <translation>(C) 2026 The korvane developers</translation>
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
    <message>
        <source>on disk &quot;%1&quot; (not connected), at %2, last seen on %3</source>
        <translation>接続されていないディスク「%1」の %2 (最後に見たのは %3)</translation>
    </message>
    <message>
        <source>on disks not connected: %1 different files that nothing tells apart; none is chosen</source>
        <translation>接続されていないディスク上に、見分けのつかない別々のファイルが %1 個あります。どれも選んでいません</translation>
    </message>
    <message>
        <source>On disks not connected: %1, on %2.</source>
        <translation>接続されていないディスク上: %1 (%2)。</translation>
    </message>
    <message>
        <source>on &quot;%1&quot; (not connected): %2</source>
        <translation>「%1」(接続されていないディスク): %2</translation>
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
    <name>QWidgetTextControl</name>
    <message>
        <source>&amp;Copy</source>
        <translation>コピー(&amp;C)</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>すべてを選択</translation>
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
    <message>
        <source>&amp;Catalogue a disk...</source>
        <translation>ディスクをカタログに登録(&amp;C)...</translation>
    </message>
    <message>
        <source>&amp;Remember present media on each scan</source>
        <translation>スキャンのたびに見つかったメディアを記憶する(&amp;R)</translation>
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
<context>
    <name>korvane::ui::DiskCataloguing</name>
    <message>
        <source>Cataloguing: %1 files in %2 folders</source>
        <translation>カタログに登録中: %2 個のフォルダーに %1 個のファイル</translation>
    </message>
    <message>
        <source>The catalogue of disks cannot be opened: %1</source>
        <translation>ディスクのカタログを開けません: %1</translation>
    </message>
    <message>
        <source>%1 cannot be catalogued: %2</source>
        <translation>%1 はカタログに登録できません: %2</translation>
    </message>
    <message>
        <source>Stopped while cataloguing %1 on disk &quot;%2&quot;; what was recorded is kept.</source>
        <translation>ディスク「%2」の %1 を登録中に中止しました。記録した分は残っています。</translation>
    </message>
    <message>
        <source>Catalogued %1 on disk &quot;%2&quot;.</source>
        <translation>ディスク「%2」の %1 をカタログに登録しました。</translation>
    </message>
    <message>
        <source>%1 files in %2 folders: %3 new, %4 changed, %5 gone; %6 fingerprinted, %7 without a fingerprint.</source>
        <translation>%2 個のフォルダーに %1 個のファイル: 新規 %3、変更 %4、なくなったもの %5。フィンガープリント取得 %6、未取得 %7。</translation>
    </message>
    <message>
        <source>%1 is another disk, not entered: catalogue it on its own.</source>
        <translation>%1 は別のディスクなので中には入りませんでした。そのディスクだけで登録してください。</translation>
    </message>
    <message>
        <source>Could not be read:</source>
        <translation>読み取れなかったもの:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>ほか %1 個</translation>
    </message>
    <message>
        <source>The catalogue could not be written: %1</source>
        <translation>カタログに書き込めませんでした: %1</translation>
    </message>
    <message>
        <source>Cataloguing: fingerprints %1 of %2 (%3 MB read)</source>
        <translation>カタログに登録中: フィンガープリント %1 / %2 (%3 MB 読み取り)</translation>
    </message>
</context>
<context>
    <name>korvane::ui::FolderSearch</name>
    <message>
        <source>Searching: %1 folders, %2 files</source>
        <translation>検索中: %1 フォルダー、%2 ファイル</translation>
    </message>
    <message>
        <source>Search stopped after %1 folders, %2 files</source>
        <translation>検索を中止しました: %1 フォルダー、%2 ファイルまで</translation>
    </message>
</context>
<context>
    <name>korvane::ui::PutBackDlg</name>
    <message>
        <source>&amp;Put back...</source>
        <translation>元の場所に戻す(&amp;P)...</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 ファイル</translation>
    </message>
    <message>
        <source>%1 files</source>
        <translation>%1 ファイル</translation>
    </message>
    <message>
        <source>1 byte</source>
        <translation>1 バイト</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 バイト</translation>
    </message>
    <message>
        <source>1 folder</source>
        <translation>1 フォルダー</translation>
    </message>
    <message>
        <source>%1 folders</source>
        <translation>%1 フォルダー</translation>
    </message>
    <message>
        <source>Put back</source>
        <translation>元の場所に戻す</translation>
    </message>
    <message>
        <source>Missing file</source>
        <translation>見つからないファイル</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>計画</translation>
    </message>
    <message>
        <source>From, or why left</source>
        <translation>戻すもの、または残す理由</translation>
    </message>
    <message>
        <source>To</source>
        <translation>戻す場所</translation>
    </message>
    <message>
        <source>&amp;Copy instead of linking</source>
        <translation>リンクせずにコピーする(&amp;C)</translation>
    </message>
    <message>
        <source>Files are hard-linked where they can be, so that they take no room twice; copies can be changed without changing the files found.</source>
        <translation>ファイルはできるかぎりハード リンクするので、容量を二重に使いません。コピーなら、見つかったファイルを変えずに変更できます。</translation>
    </message>
    <message>
        <source>&amp;Put back</source>
        <translation>戻す(&amp;P)</translation>
    </message>
    <message>
        <source>Nothing is missing.</source>
        <translation>見つからないファイルはありません。</translation>
    </message>
    <message>
        <source>%1 of %2 can be put back.</source>
        <translation>%2のうち %1 件を戻せます。</translation>
    </message>
    <message>
        <source>1 missing file</source>
        <translation>見つからないファイル 1 件</translation>
    </message>
    <message>
        <source>%1 missing files</source>
        <translation>見つからないファイル %1 件</translation>
    </message>
    <message>
        <source>put back</source>
        <translation>戻す</translation>
    </message>
    <message>
        <source>left</source>
        <translation>残す</translation>
    </message>
    <message>
        <source>%1 from %2
to %3</source>
        <translation>%1: %2 から
%3 へ</translation>
    </message>
    <message>
        <source>Putting back %1...</source>
        <translation>%1を戻しています...</translation>
    </message>
    <message>
        <source>Putting back: %1 of %2, %3 copied</source>
        <translation>戻しています: %2中 %1 件、%3 コピー済み</translation>
    </message>
    <message>
        <source>Nothing was put back: no journal can be written in %1: %2.</source>
        <translation>何も戻していません: %1 に記録を書けません: %2。</translation>
    </message>
    <message>
        <source>linked</source>
        <translation>リンク済み</translation>
    </message>
    <message>
        <source>copied</source>
        <translation>コピー済み</translation>
    </message>
    <message>
        <source>%1 appeared meanwhile; nothing was replaced</source>
        <translation>その間に %1 ができたため、何も置き換えていません</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>失敗</translation>
    </message>
    <message>
        <source>stopped before it was put back</source>
        <translation>戻す前に中止しました</translation>
    </message>
    <message>
        <source>Put back %1 (%2 linked, %3 copied); %4 copied.</source>
        <translation>%1を戻しました (リンク %2、コピー %3)。%4をコピーしました。</translation>
    </message>
    <message>
        <source>%1 left, as the list says.</source>
        <translation>一覧のとおり、%1は残しました。</translation>
    </message>
    <message>
        <source>Journal of what was made: %1</source>
        <translation>作ったものの記録: %1</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>閉じる</translation>
    </message>
    <message>
        <source>&amp;Undo last put back</source>
        <translation>最後に戻したものを元に戻す(&amp;U)</translation>
    </message>
    <message>
        <source>Making the plan: which file goes where...</source>
        <translation>計画を立てています: どのファイルをどこへ戻すか...</translation>
    </message>
    <message>
        <source>The names in the project cannot be read: %1.</source>
        <translation>プロジェクト内の名前を読み取れません: %1。</translation>
    </message>
    <message>
        <source>Stopping: the file being put back is finished or given up first...</source>
        <translation>中止しています: 戻している途中のファイルを済ませるか取りやめてから止めます...</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>見つかりません</translation>
    </message>
    <message>
        <source>the closest file found has another extension (a transcoded file is not the original)</source>
        <translation>最も近いファイルは拡張子が違います (変換したファイルは元のファイルではありません)</translation>
    </message>
    <message>
        <source> and </source>
        <translation>、</translation>
    </message>
    <message>
        <source>, </source>
        <translation>、</translation>
    </message>
    <message>
        <source>%1 different files found (%2 bytes)</source>
        <translation>異なるファイルが %1 個見つかりました (%2 バイト)</translation>
    </message>
    <message>
        <source>no mapping for share %1</source>
        <translation>共有 %1 には割り当てがありません</translation>
    </message>
    <message>
        <source>no mapping for drive %1</source>
        <translation>ドライブ %1 には割り当てがありません</translation>
    </message>
    <message>
        <source>cannot write in folder %1: %2</source>
        <translation>フォルダー %1 に書き込めません: %2</translation>
    </message>
    <message>
        <source>its place holds an entry now: %1</source>
        <translation>戻す場所に今は別のものがあります: %1</translation>
    </message>
    <message>
        <source>not empty</source>
        <translation>空ではありません</translation>
    </message>
    <message>
        <source>replaced since it was put back</source>
        <translation>戻した後に置き換えられています</translation>
    </message>
    <message>
        <source>changed since it was put back</source>
        <translation>戻した後に変更されています</translation>
    </message>
    <message>
        <source>its source is gone: this is the last link to the file</source>
        <translation>もとのファイルがありません: これがそのファイルへの最後のリンクです</translation>
    </message>
    <message>
        <source>not tried: the undo was stopped</source>
        <translation>試していません: 元に戻すのを中止しました</translation>
    </message>
    <message>
        <source>its place %1 is outside the folders files may be put back in</source>
        <translation>戻す場所 %1 は、ファイルを戻してよいフォルダーの外にあります</translation>
    </message>
    <message>
        <source>the name %1 is hidden: putting back never makes such a name</source>
        <translation>名前 %1 は隠し名です: 戻すときにこのような名前は作りません</translation>
    </message>
    <message>
        <source>the folder %1 does not exist: is the disk mounted?</source>
        <translation>フォルダー %1 がありません: ディスクはマウントされていますか?</translation>
    </message>
    <message>
        <source>the folder %1 is a mount point with nothing mounted: is the disk mounted?</source>
        <translation>フォルダー %1 は何もマウントされていないマウント ポイントです: ディスクはマウントされていますか?</translation>
    </message>
    <message>
        <source>%1 is a symbolic link: files are put back only through real folders</source>
        <translation>%1 はシンボリック リンクです: ファイルは本物のフォルダーを通ってだけ戻します</translation>
    </message>
    <message>
        <source>%1 is not a folder</source>
        <translation>%1 はフォルダーではありません</translation>
    </message>
    <message>
        <source>the same place as %1, whose name differs only in letter case</source>
        <translation>%1 と同じ場所です (名前の違いは大文字と小文字だけです)</translation>
    </message>
    <message>
        <source>found only in folders of other dates than its own: another day&apos;s shoot</source>
        <translation>自分のものとは別の日付のフォルダーにだけ見つかりました: 別の日の撮影です</translation>
    </message>
    <message>
        <source>its folder is on the disk as %1, its name read in the other code page: no folder is made from a reading the disk contradicts</source>
        <translation>そのフォルダーはディスクに %1 としてあります (名前をもう一方のコード ページで読んだもの): ディスクと食い違う読み方からフォルダーは作りません</translation>
    </message>
    <message>
        <source>changed while it was being undone</source>
        <translation>元に戻す間に変更されました</translation>
    </message>
    <message>
        <source>its source %1 is gone: this is the only copy</source>
        <translation>もとのファイル %1 がありません: これが唯一のコピーです</translation>
    </message>
    <message>
        <source>its source %1 is no longer a file: this is the only copy</source>
        <translation>もとのファイル %1 はもうファイルではありません: これが唯一のコピーです</translation>
    </message>
    <message>
        <source>its source %1 now leads to this very file: it is the only copy</source>
        <translation>もとのファイル %1 は今このファイル自身を指しています: これが唯一のコピーです</translation>
    </message>
    <message>
        <source>its source %1 changed: this is the only copy</source>
        <translation>もとのファイル %1 は変更されました: これが唯一のコピーです</translation>
    </message>
    <message>
        <source>its source %1 differs from it: this is the only copy</source>
        <translation>もとのファイル %1 と内容が違います: これが唯一のコピーです</translation>
    </message>
    <message>
        <source>its source %1 no longer leads to this file</source>
        <translation>もとのファイル %1 はもうこのファイルを指していません</translation>
    </message>
    <message>
        <source>it is its source&apos;s own name</source>
        <translation>もとのファイル自身の名前です</translation>
    </message>
    <message>
        <source>not the temporary the run made</source>
        <translation>実行で作った一時ファイルではありません</translation>
    </message>
    <message>
        <source>not made while its journal was written</source>
        <translation>ジャーナルを書いている間に作られたものではありません</translation>
    </message>
    <message>
        <source>its file system keeps no birth time, so nothing proves the put back made it</source>
        <translation>そのファイル システムは作成日時を記録しないため、戻したときに作ったものだと証明できません</translation>
    </message>
    <message>
        <source>%1 is now a symbolic link: undo goes only through real folders</source>
        <translation>%1 は今シンボリック リンクです: 元に戻すときは本物のフォルダーだけを通ります</translation>
    </message>
    <message>
        <source>%1 is no longer a folder</source>
        <translation>%1 はもうフォルダーではありません</translation>
    </message>
    <message>
        <source>no longer a folder</source>
        <translation>もうフォルダーではありません</translation>
    </message>
    <message>
        <source>outside the folders of the journal</source>
        <translation>ジャーナルのフォルダーの外にあります</translation>
    </message>
    <message>
        <source>Leave it: choose one of the %1 different files found</source>
        <translation>戻さない: 見つかった %1 個の異なるファイルから 1 つを選んでください</translation>
    </message>
    <message>
        <source>%1 (%2, modified %3)</source>
        <translation>%1 (%2、更新 %3)</translation>
    </message>
    <message>
        <source>That file has changed since it was found: search again to see it as it is.</source>
        <translation>そのファイルは見つけた後に変更されました: もう一度探して今の状態を確かめてください。</translation>
    </message>
</context>
<context>
    <name>korvane::ui::UndoDlg</name>
    <message>
        <source>1 file or folder</source>
        <translation>ファイルまたはフォルダー 1 個</translation>
    </message>
    <message>
        <source>%1 files and folders</source>
        <translation>ファイルとフォルダー %1 個</translation>
    </message>
    <message>
        <source>Undo last put back</source>
        <translation>最後に戻したものを元に戻す</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>元に戻す</translation>
    </message>
    <message>
        <source>remove</source>
        <translation>削除する</translation>
    </message>
    <message>
        <source>removed</source>
        <translation>削除済み</translation>
    </message>
    <message>
        <source>keep</source>
        <translation>残す</translation>
    </message>
    <message>
        <source>kept</source>
        <translation>残した</translation>
    </message>
    <message>
        <source>already gone</source>
        <translation>すでにない</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>削除する(&amp;R)</translation>
    </message>
    <message>
        <source>Checking what undo would remove: each copy is read whole...</source>
        <translation>元に戻すと何が削除されるかを調べています: コピーはすべて読み通します...</translation>
    </message>
    <message>
        <source>The journal could not be read: %1.</source>
        <translation>記録を読み取れませんでした: %1。</translation>
    </message>
    <message>
        <source>Nothing of the last put back can be removed.</source>
        <translation>最後に戻したもののうち、削除できるものはありません。</translation>
    </message>
    <message>
        <source>Undo would remove %1 and %2 that the last put back made.</source>
        <translation>元に戻すと、最後に戻したときに作った %1 と %2 を削除します。</translation>
    </message>
    <message>
        <source>It would keep %1, as the list says.</source>
        <translation>一覧のとおり、%1は残します。</translation>
    </message>
    <message>
        <source>Already gone: %1.</source>
        <translation>すでにないもの: %1。</translation>
    </message>
    <message>
        <source>Removing what the last put back made...</source>
        <translation>最後に戻したときに作ったものを削除しています...</translation>
    </message>
    <message>
        <source>Removed %1 and %2.</source>
        <translation>%1 と %2 を削除しました。</translation>
    </message>
    <message>
        <source>Stopped: what was not tried can be undone again.</source>
        <translation>中止しました: 試していないものは、もう一度元に戻せます。</translation>
    </message>
    <message>
        <source>Kept %1, as the list says.</source>
        <translation>一覧のとおり、%1は残しました。</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>閉じる</translation>
    </message>
    <message>
        <source>Stopping: the file being checked is finished first...</source>
        <translation>中止しています: 調べている途中のファイルを済ませてから止めます...</translation>
    </message>
    <message>
        <source>File or folder made</source>
        <translation>作ったファイルまたはフォルダー</translation>
    </message>
    <message>
        <source>Why kept</source>
        <translation>残す理由</translation>
    </message>
</context>
</TS>
