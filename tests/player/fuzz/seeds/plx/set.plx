C:\Music\House\track.mp3
D:\Mix\b side.mp3
\\server\share\c.mp3
no folder.mp3
