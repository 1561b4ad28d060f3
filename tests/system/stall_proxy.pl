#!/usr/bin/perl
# A local proxy for PuTTY's -proxycmd that passes the connection on until the
# client has sent LIMIT bytes, then stops passing the client's bytes and
# creates STALLED: the upload stands still part-way (the server grants no
# more window), for as long as the test needs to place its fault. The
# client's later bytes are read and dropped, so that a client that goes away
# ends the proxy; the server's bytes still flow, so a server that goes away
# ends it too, and with it the tool's connection.
# Usage: stall_proxy.pl HOST PORT LIMIT STALLED
use strict;
use warnings;
use IO::Select;
use IO::Socket::INET;

my ($host, $port, $limit, $stalled_flag) = @ARGV;
my $server = IO::Socket::INET->new(PeerAddr => $host, PeerPort => $port, Proto => 'tcp')
  or die "stall_proxy: cannot connect to $host:$port: $!\n";
binmode STDIN;
binmode STDOUT;

sub write_all {
  my ($fh, $data) = @_;
  while (length $data) {
    my $n = syswrite($fh, $data);
    return 0 unless defined $n;
    substr($data, 0, $n) = '';
  }
  return 1;
}

my $sent = 0;
my $select = IO::Select->new(\*STDIN, $server);
while (1) {
  for my $fh ($select->can_read) {
    my $n = sysread($fh, my $buffer, 65536);
    exit 0 unless $n;
    if ($fh == $server) {
      write_all(\*STDOUT, $buffer) or exit 0;
      next;
    }
    my $room = $limit - $sent;
    next if $room <= 0;
    $buffer = substr($buffer, 0, $room) if length($buffer) > $room;
    write_all($server, $buffer) or exit 0;
    $sent += length $buffer;
    if ($sent >= $limit) {
      open(my $flag, '>', $stalled_flag) or die "stall_proxy: cannot create $stalled_flag: $!\n";
      close $flag;
    }
  }
}
