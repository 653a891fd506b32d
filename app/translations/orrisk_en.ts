<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AboutDialog</name>
    <message>
        <source>Orrisk について</source>
        <translation>About Orrisk</translation>
    </message>
    <message>
        <source>Orrisk、バージョン 1.1</source>
        <translation>Orrisk, version 1.1</translation>
    </message>
    <message>
        <source>点群と 3D Gaussian Splatting のビューアー</source>
        <translation>A viewer for point clouds and 3D Gaussian Splatting</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>丸</source>
        <translation>Round</translation>
    </message>
    <message>
        <source>四角</source>
        <translation>Square</translation>
    </message>
    <message>
        <source>回転モード（Orbit）</source>
        <translation>Orbit mode (Orbit)</translation>
    </message>
    <message>
        <source>ウォークスルーモード（Fly）</source>
        <translation>Walk-through mode (Fly)</translation>
    </message>
    <message>
        <source>透視投影 （Persp）</source>
        <translation>Perspective (Persp)</translation>
    </message>
    <message>
        <source>平行投影（Ortho）</source>
        <translation>Orthographic (Ortho)</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>その他の色...</source>
        <translation>Other colors...</translation>
    </message>
    <message>
        <source>システムに従う</source>
        <translation>Follow the system</translation>
    </message>
    <message>
        <source>点群の点の形</source>
        <translation>Point shape</translation>
    </message>
    <message>
        <source>点群の点の大きさ</source>
        <translation>Point size</translation>
    </message>
    <message>
        <source>(1～32)</source>
        <translation>(1 to 32)</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>すべての点</source>
        <translation>Every point</translation>
    </message>
    <message>
        <source>点数を指定</source>
        <translation>At most</translation>
    </message>
    <message>
        <source>一度に描く点の上限</source>
        <translation>Points drawn per frame</translation>
    </message>
    <message>
        <source>操作モード</source>
        <translation>Navigation mode</translation>
    </message>
    <message>
        <source>投影の種類</source>
        <translation>Projection</translation>
    </message>
    <message>
        <source>座標軸</source>
        <translation>Axes</translation>
    </message>
    <message>
        <source>背景色</source>
        <translation>Background color</translation>
    </message>
    <message>
        <source>言語</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>（次回の起動から）</source>
        <translation>(from the next start)</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>RGB</source>
        <translation>RGB</translation>
    </message>
    <message>
        <source>強度</source>
        <translation>Intensity</translation>
    </message>
    <message>
        <source>分類</source>
        <translation>Classification</translation>
    </message>
    <message>
        <source>標高</source>
        <translation>Elevation</translation>
    </message>
    <message>
        <source>リターン番号</source>
        <translation>Return Number</translation>
    </message>
    <message>
        <source>点群の色</source>
        <translation>Point colours</translation>
    </message>
    <message>
        <source>アイドームライティング</source>
        <translation>Eye-dome lighting</translation>
    </message>
    <message>
        <source>強さ</source>
        <translation>Strength</translation>
    </message>
    <message>
        <source>（0 で無効）</source>
        <translation>(0: off)</translation>
    </message>
    <message>
        <source>半径</source>
        <translation>Radius</translation>
    </message>
</context>
<context>
    <name>LoadProgressPane</name>
    <message>
        <source>中止</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>読み込みを中止 (Esc)</source>
        <translation>Stop loading (Esc)</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>標準</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>【回転】マウス右, マウス左 【拡大縮小】マウス右+Shift,マウスホイール 【移動】マウス右+Ctrl,中ボタン</source>
        <translation>[Rotate] right or left button  [Zoom] right button+Shift, wheel  [Pan] right button+Ctrl, middle button</translation>
    </message>
</context>
<context>
    <name>Application</name>
    <message>
        <source>LAZ ファイル (*.laz)</source>
        <translation>LAZ file (*.laz)</translation>
    </message>
    <message>
        <source>COPC ファイル (*.copc.laz)</source>
        <translation>COPC file (*.copc.laz)</translation>
    </message>
    <message>
        <source>LAS ファイル (*.las)</source>
        <translation>LAS file (*.las)</translation>
    </message>
    <message>
        <source>点群を書き出す</source>
        <translation>Export Point Cloud</translation>
    </message>
    <message>
        <source>点群を書き出せませんでした: </source>
        <translation>The point cloud could not be exported: </translation>
    </message>
    <message>
        <source>ファイルから開いた点群がありません。</source>
        <translation>No point cloud opened from a file.</translation>
    </message>
    <message>
        <source>開いているファイルそのものには書き出せません。</source>
        <translation>The open file itself cannot be written over.</translation>
    </message>
    <message>
        <source>書き出しました: %1</source>
        <translation>Exported: %1</translation>
    </message>
    <message>
        <source>Camera pose file (*.json)</source>
        <translation>Camera pose file (*.json)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>All Files (*.*)</translation>
    </message>
    <message>
        <source>フライスルー動画を書き出す</source>
        <translation>Export Fly-Through Video</translation>
    </message>
    <message>
        <source>MP4 動画 (*.mp4)</source>
        <translation>MP4 video (*.mp4)</translation>
    </message>
    <message>
        <source>フライスルー動画</source>
        <translation>Fly-Through Video</translation>
    </message>
    <message>
        <source>動画を書き出せませんでした: </source>
        <translation>Could not write the video: </translation>
    </message>
    <message>
        <source>カメラ位置ファイルが開かれていません。</source>
        <translation>No camera pose file is open.</translation>
    </message>
    <message>
        <source>空のドキュメントの作成に失敗しました。</source>
        <translation>Failed to create an empty document.</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>データファイル (*.ply *.las *.laz *.spz *.sog *.splat meta.json);;すべてのファイル (*)</source>
        <translation>Data files (*.ply *.las *.laz *.spz *.sog *.splat meta.json);;All files (*)</translation>
    </message>
</context>
<context>
    <name>ColorButton</name>
    <message>
        <source>Other colors...</source>
        <translation>Other colors...</translation>
    </message>
</context>
<context>
    <name>CommandTable</name>
    <message>
        <source>点群を書き出す(&amp;E)...</source>
        <translation>&amp;Export Point Cloud...</translation>
    </message>
    <message>
        <source>開いている点群のファイルを LAS、LAZ または COPC に書き出す</source>
        <translation>Write the open point cloud's file as LAS, LAZ or COPC</translation>
    </message>
    <message>
        <source>点群を書き出す</source>
        <translation>Export Point Cloud</translation>
    </message>
    <message>
        <source>フライスルー動画を書き出す(&amp;V)...</source>
        <translation>Export Fly-Through &amp;Video...</translation>
    </message>
    <message>
        <source>カメラ位置ファイルのカメラを順にたどる動画を書き出す</source>
        <translation>Write a video that flies through the cameras of the camera pose file</translation>
    </message>
    <message>
        <source>フライスルー動画を書き出す</source>
        <translation>Export fly-through video</translation>
    </message>
    <message>
        <source>新規作成(&amp;N)...	Ctrl+N</source>
        <translation>&amp;New...	Ctrl+N</translation>
    </message>
    <message>
        <source>新規作成</source>
        <translation>New</translation>
    </message>
    <message>
        <source>点群/3DGSファイルを開く(&amp;O)...	Ctrl+O</source>
        <translation>&amp;Open Point Cloud/3DGS File...	Ctrl+O</translation>
    </message>
    <message>
        <source>点群/3DGSファイルを開く</source>
        <translation>Open a point cloud or 3DGS file</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>カメラ位置ファイルを開く(&amp;P)</source>
        <translation>Open Camera &amp;Pose File</translation>
    </message>
    <message>
        <source>カメラ位置ファイルを開く</source>
        <translation>Open a camera pose file</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>アプリケーションを終了</source>
        <translation>Quit the application</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>X（前方向）</source>
        <translation>X (front)</translation>
    </message>
    <message>
        <source>X（後方向）</source>
        <translation>X (back)</translation>
    </message>
    <message>
        <source>Y（前方向）</source>
        <translation>Y (front)</translation>
    </message>
    <message>
        <source>Y（後方向）</source>
        <translation>Y (back)</translation>
    </message>
    <message>
        <source>Z（前方向）</source>
        <translation>Z (front)</translation>
    </message>
    <message>
        <source>Z（後方向）</source>
        <translation>Z (back)</translation>
    </message>
    <message>
        <source>フィット</source>
        <translation>Fit</translation>
    </message>
    <message>
        <source>全体表示</source>
        <translation>Show the whole scene</translation>
    </message>
    <message>
        <source>ステータス バー(&amp;S)</source>
        <translation>&amp;Status Bar</translation>
    </message>
    <message>
        <source>ステータス バーの表示/非表示</source>
        <translation>Show or hide the status bar</translation>
    </message>
    <message>
        <source>ステータス バーの表示切り替え</source>
        <translation>Toggle the status bar</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;A)...</source>
        <translation>&amp;About Orrisk...</translation>
    </message>
    <message>
        <source>プログラム情報、バージョン、著作権を表示します。</source>
        <translation>Show the program's information, version and copyright.</translation>
    </message>
    <message>
        <source>バージョン情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ビュー方向</source>
        <translation>View Direction</translation>
    </message>
    <message>
        <source>最近使ったファイル</source>
        <translation>Recent Files</translation>
    </message>
    <message>
        <source>指定のドキュメントを開く</source>
        <translation>Open this document</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>ファイル %1 を開けませんでした。</source>
        <translation>The file %1 could not be opened.</translation>
    </message>
    <message>
        <source>Failed to load the 3D Gaussian Splatting file.
Please check the file contents.</source>
        <translation>Failed to load the 3D Gaussian Splatting file.
Please check the file contents.</translation>
    </message>
    <message>
        <source>Failed to load the point cloud file.
Please check the file format (PLY / LAS) and its contents.</source>
        <translation>Failed to load the point cloud file.
Please check the file format (PLY / LAS) and its contents.</translation>
    </message>
    <message>
        <source>Failed to load the camera pose file (transforms.json).
%1</source>
        <translation>Failed to load the camera pose file (transforms.json).
%1</translation>
    </message>
    <message>
        <source>Failed to initialize OpenGL 4.5.
Please check your graphics driver.</source>
        <translation>Failed to initialize OpenGL 4.5.
Please check your graphics driver.</translation>
    </message>
    <message>
        <source>Points: %1</source>
        <translation>Points: %1</translation>
    </message>
    <message>
        <source>Points: %1 / %2</source>
        <translation>Points: %1 / %2</translation>
    </message>
    <message>
        <source>Splats: %1</source>
        <translation>Splats: %1</translation>
    </message>
    <message>
        <source>Mode: %1 | %2</source>
        <translation>Mode: %1 | %2</translation>
    </message>
    <message>
        <source>Orbit</source>
        <translation>Orbit</translation>
    </message>
    <message>
        <source>Fly</source>
        <translation>Fly</translation>
    </message>
    <message>
        <source>Persp</source>
        <translation>Persp</translation>
    </message>
    <message>
        <source>Ortho</source>
        <translation>Ortho</translation>
    </message>
    <message>
        <source>%1 | %2</source>
        <translation>%1 | %2</translation>
    </message>
    <message>
        <source>RGB</source>
        <translation>RGB</translation>
    </message>
    <message>
        <source>Intensity</source>
        <translation>Intensity</translation>
    </message>
    <message>
        <source>Classification</source>
        <translation>Classification</translation>
    </message>
    <message>
        <source>Elevation</source>
        <translation>Elevation</translation>
    </message>
    <message>
        <source>Return number</source>
        <translation>Return number</translation>
    </message>
    <message>
        <source>EDL</source>
        <translation>EDL</translation>
    </message>
    <message>
        <source>Frame: %1/%2</source>
        <translation>Frame: %1/%2</translation>
    </message>
</context>
<context>
    <name>QtDesktop</name>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
</context>
<context>
    <name>FlyThroughExport</name>
    <message>
        <source>動画 %v / %m フレーム</source>
        <translation>Video %v / %m frames</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>フライスルー動画</source>
        <translation>Fly-Through Video</translation>
    </message>
    <message>
        <source>幅（ピクセル）</source>
        <translation>Width (pixels)</translation>
    </message>
    <message>
        <source>高さ（ピクセル）</source>
        <translation>Height (pixels)</translation>
    </message>
    <message>
        <source>フレーム/秒</source>
        <translation>Frames per second</translation>
    </message>
    <message>
        <source>カメラごとの秒数</source>
        <translation>Seconds per camera</translation>
    </message>
    <message>
        <source>オフスクリーンの OpenGL 4.5 コンテキストを作成できませんでした。</source>
        <translation>Could not create an off-screen OpenGL 4.5 context.</translation>
    </message>
</context>
<context>
    <name>TrainingPhotoOverlay</name>
    <message>
        <source>学習画像</source>
        <translation>Training photo</translation>
    </message>
    <message>
        <source>学習画像なし</source>
        <translation>No training photo</translation>
    </message>
    <message>
        <source>学習画像を読めません</source>
        <translation>Cannot read the training photo</translation>
    </message>
    <message>
        <source>PSNR を計算できません</source>
        <translation>Cannot compute the PSNR</translation>
    </message>
</context>
<context>
    <name>ColoringControls</name>
    <message>
        <source>RGB</source>
        <translation>RGB</translation>
    </message>
    <message>
        <source>強度</source>
        <translation>Intensity</translation>
    </message>
    <message>
        <source>分類</source>
        <translation>Classification</translation>
    </message>
    <message>
        <source>標高</source>
        <translation>Elevation</translation>
    </message>
    <message>
        <source>リターン番号</source>
        <translation>Return Number</translation>
    </message>
    <message>
        <source>点群の色で示すものを選びます（C キーで順に切り替え）</source>
        <translation>Choose what the point colours show (C cycles through them)</translation>
    </message>
    <message>
        <source>アイドームライティング（EDL）</source>
        <translation>Eye-Dome Lighting (EDL)</translation>
    </message>
    <message>
        <source>深度から陰影を付けて点群の形を見やすくします</source>
        <translation>Shades the points by depth so that the cloud's shape shows</translation>
    </message>
    <message>
        <source>点群の色</source>
        <translation>Point Colours</translation>
    </message>
</context>
<context>
    <name>ClassificationNames</name>
    <message>
        <source>未分類（作成時のまま）</source>
        <translation>Created, never classified</translation>
    </message>
    <message>
        <source>未分類</source>
        <translation>Unclassified</translation>
    </message>
    <message>
        <source>地面</source>
        <translation>Ground</translation>
    </message>
    <message>
        <source>低い植生</source>
        <translation>Low vegetation</translation>
    </message>
    <message>
        <source>中くらいの植生</source>
        <translation>Medium vegetation</translation>
    </message>
    <message>
        <source>高い植生</source>
        <translation>High vegetation</translation>
    </message>
    <message>
        <source>建物</source>
        <translation>Building</translation>
    </message>
    <message>
        <source>低い点（ノイズ）</source>
        <translation>Low point (noise)</translation>
    </message>
    <message>
        <source>モデルのキーポイント</source>
        <translation>Model key point</translation>
    </message>
    <message>
        <source>水面</source>
        <translation>Water</translation>
    </message>
    <message>
        <source>鉄道</source>
        <translation>Rail</translation>
    </message>
    <message>
        <source>道路面</source>
        <translation>Road surface</translation>
    </message>
    <message>
        <source>重複</source>
        <translation>Overlap</translation>
    </message>
    <message>
        <source>架空地線</source>
        <translation>Wire guard (shield)</translation>
    </message>
    <message>
        <source>電線（導体）</source>
        <translation>Wire conductor (phase)</translation>
    </message>
    <message>
        <source>送電鉄塔</source>
        <translation>Transmission tower</translation>
    </message>
    <message>
        <source>電線と構造物の接続部</source>
        <translation>Wire-structure connector</translation>
    </message>
    <message>
        <source>橋の床版</source>
        <translation>Bridge deck</translation>
    </message>
    <message>
        <source>高いノイズ</source>
        <translation>High noise</translation>
    </message>
    <message>
        <source>分類 %1</source>
        <translation>Class %1</translation>
    </message>
</context>
</TS>
