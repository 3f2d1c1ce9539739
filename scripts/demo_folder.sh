# Sourced by the screenshot scripts. make_demo_folder FOLDER [rare]: a folder
# as an office worker has it: documents with versions kept, sizes of many
# digits, versions of one day, a folder comment and version comments (CP932).
# With "rare", also names outside the common characters (𠮷, Hangul).
make_demo_folder() {
  local folder=$1 rare=${2:-}
  mkdir -p "$folder/_mabre-l94" "$folder/画像" "$folder/資料"
  put() {  # name size time
    truncate -s "$2" "$folder/$1"
    touch -d "$3" "$folder/$1"
  }
  put 報告書.docx 48213 "2024-06-12 17:42:08"
  put _mabre-l94/"報告書_2024-06-12 09-15-31.docx" 45877 "2024-06-12 09:15:31"
  put _mabre-l94/"報告書_2024-06-12 13-47-55.docx" 47102 "2024-06-12 13:47:55"
  put 予算.xlsx 12482731 "2024-06-11 10:03:27"
  put _mabre-l94/"予算_2024-06-03 16-20-44.xlsx" 9874120 "2024-06-03 16:20:44"
  put 取扱説明書.pdf 3157880 "2024-05-30 11:26:09"
  put 写真.png 824315 "2024-06-10 08:12:40"
  if [ "$rare" = rare ]; then
    put 𠮷田様宛.txt 1840 "2024-06-12 14:05:11"
    put 회의록.txt 2931 "2024-06-07 15:31:02"
  else
    put 議事録.txt 2931 "2024-06-07 15:31:02"
  fi
  put 資料一式.zip 104857600 "2024-06-05 18:44:19"
  chmod a-w "$folder"/_mabre-l94/*
  printf '%s\r\n' "6月の月次報告。提出前に部長確認" \
    "報告書.docx_2024-06-12 09-15-31,初稿" \
    "報告書.docx_2024-06-12 13-47-55,課長レビュー反映" \
    "報告書.docx_2024-06-12 17-42-08,最終版" \
    "予算.xlsx_2024-06-03 16-20-44,当初予算" | iconv -f UTF-8 -t CP932 >"$folder/_mabre.l94"
}
